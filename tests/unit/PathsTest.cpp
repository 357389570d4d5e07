#include "common/Paths.h"

#include <cstdlib>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace nuv {
namespace {

std::string Normalized(std::string path) {
    NormalizeFolderPath(path);
    return path;
}

TEST(NormalizeFolderPath, TrimsAndEndsInExactlyOneSlash) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"  /home/u/pics \t", "/home/u/pics/"},
        {"/home/u/pics/", "/home/u/pics/"},
        {"\r\n/home/u/pics/\n", "/home/u/pics/"},
        {"", "/"},
        {"   ", "/"},
        {"/", "/"},
        {"a////b", "a/b/"},     // four in a row: "///" then "//" leave one
        {"a/////b", "a//b/"},   // five in a row leave two
        {"a//////b", "a/b/"},   // six: two "///" give "//", which the second pass joins
        {"//server/share", "/server/share/"},
        {"/pics//", "/pics/"},
        {"/pics///", "/pics/"},     // the appended slash makes four at the end
        {"/pics////", "/pics//"},   // and here five
        {"C:\\pics\\", "C:\\pics\\/"},  // backslashes are ordinary bytes
        {"/照片/ 新建 ", "/照片/ 新建/"},
    };
    for (const auto& c : cases) EXPECT_EQ(Normalized(c.in), c.out) << '"' << c.in << '"';
}

TEST(NormalizeFolderPath, IsStableOnItsOwnResultWhenNoRunOfSlashesRemains) {
    for (const char* in : {"/a/b", " /a/b/ ", "rel/dir", "/a//b"}) {
        const std::string once = Normalized(in);
        if (once.find("//") == std::string::npos) {
            EXPECT_EQ(Normalized(once), once) << in;
        }
    }
}

// Sets HOME for the life of the object and restores it afterwards.
class HomeGuard {
public:
    explicit HomeGuard(const char* value) {
        if (const char* old = std::getenv("HOME")) saved_ = old;
        if (value != nullptr) {
            setenv("HOME", value, 1);
        } else {
            unsetenv("HOME");
        }
    }
    ~HomeGuard() {
        if (saved_) {
            setenv("HOME", saved_->c_str(), 1);
        } else {
            unsetenv("HOME");
        }
    }

private:
    std::optional<std::string> saved_;
};

TEST(IsSharedProgramFolder, SystemProgramFoldersAreNeverTheProgramsOwn) {
    for (const char* shared : {"/usr/bin/", "/usr/local/bin/", "/usr/lib/nuv/", "/bin/", "/sbin", "/usr"})
        EXPECT_TRUE(IsSharedProgramFolder(shared)) << shared;
    for (const char* own : {"/home/u/nuv/", "/opt/nuv/bin/", "/tmp/prefix/bin/", "/usrx/", "/binary/"})
        EXPECT_FALSE(IsSharedProgramFolder(own)) << own;
}

TEST(UserHomeFolder, EndsInASlashAndFallsBackToTheUserDatabase) {
    {
        HomeGuard home("/home/tester");
        EXPECT_EQ(UserHomeFolder(), "/home/tester/");
    }
    {
        HomeGuard home("/home/tester/");
        EXPECT_EQ(UserHomeFolder(), "/home/tester/");
    }
    for (const char* value : {static_cast<const char*>(nullptr), ""}) {
        HomeGuard home(value);
        const std::string folder = UserHomeFolder();
        ASSERT_FALSE(folder.empty());
        EXPECT_EQ(folder.front(), '/');
        EXPECT_EQ(folder.back(), '/');
    }
}

}  // namespace
}  // namespace nuv
