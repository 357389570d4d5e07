#pragma once

#include <string>

namespace nuv {

// Called first thing in the catch-all of a step that must never stop the program (a
// frame that cannot be read, a preview that cannot be drawn, a settings file that
// cannot be written): the failure is swallowed as before, but with NUV_DEBUG=1 in the
// environment one line on standard error names the step's function, file and line and
// what was thrown, so that no swallowed failure is beyond tracing.
// The place comes from the compiler builtins, which g++ and clang evaluate at the call
// (std::source_location needs a builtin that clang 14 lacks over libstdc++ 12).
void NoteSwallowed(const char* function = __builtin_FUNCTION(), const char* file = __builtin_FILE(),
                   unsigned line = __builtin_LINE()) noexcept;

// In a catch block: the text of the failure being handled, "unknown failure" for one
// without a text (or outside a catch block).
std::string WhyOfCurrentFailure();

}  // namespace nuv
