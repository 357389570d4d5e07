#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Where a file that a page, a server or a list names may be written: only beneath the
// folder it was meant for, under names that are one entry each. Both programs build
// every name they save under through these rules and open every folder through them.
namespace nuv {

// The longest name of one entry of a folder, in bytes.
inline constexpr std::size_t kMaxFileNameBytes = 255;

// The text after the last "/" of `path` (all of it when there is none).
std::string_view FileNamePart(std::string_view path);

// `name` cut to at most `limit` bytes, its extension (the text from its last "." when
// that is at most 16 bytes) and whole UTF-8 characters kept.
std::string ShortenFileName(std::string_view name, std::size_t limit = kMaxFileNameBytes);

// `name` as one entry of a folder: every control character (below 0x20, 0x7F and the
// C1 controls U+0080 to U+009F), "/" and "\" becomes "_", and the result is cut by
// ShortenFileName to `limit` bytes. "" when nothing usable is left: an empty name, "."
// or "..", or a name that holds a NUL byte.
std::string CleanNameComponent(std::string_view name, std::size_t limit = kMaxFileNameBytes);

// Opens the folder `relative` ("" for the root itself; components separated by "/",
// each of them clean: not "", "." or "..") beneath the folder open as `rootFd`, without
// following any symbolic link and without ever leaving it; with `create` the folders
// that are missing are made (mkdirat on the descriptor of their parent). Returns a new
// descriptor (O_DIRECTORY, close-on-exec), or -1 with errno set: ELOOP for a link on
// the way, EXDEV or EINVAL for a path that would leave the root.
int OpenFolderBeneath(int rootFd, std::string_view relative, bool create);

// A descriptor that closes itself.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.Release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_ = -1;
};

// A file path split at the folder it must stay beneath.
struct FileBeneath {
    std::string root;    // the folder, ending in "/"; opened as given (the user chose it)
    std::string folder;  // the folders between root and the file, "" or "a/b"
    std::string name;    // the file's name, one clean entry
};

// Splits `file` at `root` (ending in "/"): the rest must be clean components. With an
// empty root, or one that `file` does not begin with, the file's own folder is the
// root and only its name is checked. Returns false when the rest is not clean.
bool SplitBeneath(std::string_view root, std::string_view file, FileBeneath& out);

// Opens the folder of `target` beneath its root (making what is missing when `create`);
// -1 with errno set when it cannot be had.
int OpenTargetFolder(const FileBeneath& target, bool create);

// Makes the folder `folder` (ending in "/" or not) and those on its way beneath `root`,
// which `folder` begins with; nothing for the root itself. False (errno set) when it
// cannot be made there.
bool MakeFolderBeneath(std::string_view root, std::string_view folder);

// Moves the file `from` to `to` (both beneath `root`, see SplitBeneath), making the
// folders `to` needs; the move replaces a file of that name, never follows a link and
// never leaves the root. False (errno set) when it cannot be done.
bool MoveBeneath(std::string_view root, const std::string& from, const std::string& to);

// The files no download may replace, compared by their resolved paths; only a target
// named as one of them is resolved itself, so a download replaces the name in its folder,
// never a file that a link of another name leads to.
class ProtectedFiles {
public:
    ProtectedFiles() = default;
    explicit ProtectedFiles(const std::vector<std::string>& files);
    bool Protects(const std::string& target) const;
    bool Empty() const { return files_.empty(); }

private:
    std::vector<std::string> files_;  // resolved
    std::vector<std::string> names_;  // as given and resolved
};

}  // namespace nuv
