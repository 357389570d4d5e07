#pragma once

#include <string>

namespace nuv::test {

// Runs the statements of `sql` on the SQLite file `file` (made when missing); throws
// std::runtime_error with SQLite's message when one fails.
void RunSql(const std::string& file, const std::string& sql);

}  // namespace nuv::test
