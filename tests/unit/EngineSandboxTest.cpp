#include "common/EngineSandbox.h"

#include <gtest/gtest.h>

namespace nuv {
namespace {

TEST(RootSandboxWarning, OnlyForRootWithTheSandboxOff) {
    const struct {
        unsigned uid;
        const char* disableSandbox;
        const char* flags;
        bool warned;
    } cases[] = {
        {0, "1", nullptr, true},
        {0, "", nullptr, true},  // the engine asks only whether it is set
        {0, "0", "--disable-gpu", true},
        {0, nullptr, "--disable-gpu --no-sandbox", true},
        {0, nullptr, "  -no-sandbox\t--log-level=3", true},
        {0, nullptr, "--no-sandbox=1", true},
        {0, nullptr, nullptr, false},
        {0, nullptr, "--disable-gpu --no-sandboxes --sandbox no-sandbox", false},
        {1000, "1", "--no-sandbox", false},
        {1000, nullptr, nullptr, false},
    };
    for (const auto& c : cases) {
        const std::string line = RootSandboxWarning(c.uid, c.disableSandbox, c.flags);
        EXPECT_EQ(!line.empty(), c.warned) << c.uid << " " << (c.disableSandbox ? c.disableSandbox : "-") << " "
                                           << (c.flags ? c.flags : "-");
    }
    EXPECT_EQ(RootSandboxWarning(0, "1", nullptr),
              "running as root with the browser sandbox off; run this program as a normal user");
}

}  // namespace
}  // namespace nuv
