#pragma once

#include <string>

namespace nuv {

// The User-Agent the engine's profiles send by default, known without loading the engine
// (its libraries take a good part of a short run to load): Chromium's form for this
// machine, with the versions of the engine the program was built with.
std::string EngineUserAgent();

}  // namespace nuv
