#include "common/Guard.h"

#include <cstdlib>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

namespace nuv {
namespace {

std::string SwallowUnder(const char* debug, void (*thrower)()) {
    if (debug) ::setenv("NUV_DEBUG", debug, 1); else ::unsetenv("NUV_DEBUG");
    testing::internal::CaptureStderr();
    try {
        thrower();
    } catch (...) {
        NoteSwallowed();
    }
    ::unsetenv("NUV_DEBUG");
    return testing::internal::GetCapturedStderr();
}

// What a step swallows stays silent unless NUV_DEBUG=1 asks for it; then one line names
// the place and what was thrown, whatever its type.
TEST(Guard, SwallowedFailuresAreTracedOnlyWhenNuvDebugIsOne) {
    const auto standard = [] { throw std::runtime_error("disk full"); };
    const auto other = [] { throw 42; };
    EXPECT_EQ(SwallowUnder(nullptr, standard), "");
    EXPECT_EQ(SwallowUnder("0", standard), "");
    EXPECT_EQ(SwallowUnder("yes", standard), "");
    const std::string line = SwallowUnder("1", standard);
    EXPECT_EQ(line.rfind("nuv: swallowed in ", 0), 0u) << line;
    EXPECT_NE(line.find("GuardTest.cpp:"), std::string::npos) << line;
    EXPECT_NE(line.find("SwallowUnder"), std::string::npos) << line;
    EXPECT_EQ(line.substr(line.size() - 12), ": disk full\n");
    EXPECT_NE(SwallowUnder("1", other).find(": an exception of no standard type\n"), std::string::npos);
}

}  // namespace
}  // namespace nuv
