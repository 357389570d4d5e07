#pragma once

#include <source_location>

namespace nuv {

// Called first thing in the catch-all of a step that must never stop the program (a
// frame that cannot be read, a preview that cannot be drawn, a settings file that
// cannot be written): the failure is swallowed as before, but with NUV_DEBUG=1 in the
// environment one line on standard error names the step's function, file and line and
// what was thrown, so that no swallowed failure is beyond tracing.
void NoteSwallowed(std::source_location where = std::source_location::current()) noexcept;

}  // namespace nuv
