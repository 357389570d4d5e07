#include "common/SaveTargets.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "common/Text.h"

namespace nuv {
namespace {

// Whether the kernel has openat2 (Linux 5.6 on); once it says ENOSYS the component walk
// serves alone.
std::atomic<bool> haveOpenat2{true};

// Opens the folders of `path` one after the other from `dirFd`, each through `step`
// (the folder open so far, the next component; a new descriptor or -1 with errno).
template <typename Step>
int WalkFolders(int dirFd, const std::string& path, Step step) {
    int current = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    size_t at = 0;
    while (current >= 0 && at < path.size()) {
        size_t slash = path.find('/', at);
        if (slash == std::string::npos) slash = path.size();
        const int next = step(current, path.substr(at, slash - at));
        const int saved = errno;
        ::close(current);
        errno = saved;
        current = next;
        at = slash + 1;
    }
    return current;
}

int OpenBeneathOnce(int dirFd, const std::string& path) {
    if (haveOpenat2.load(std::memory_order_relaxed)) {
        open_how how{};
        how.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
        const long fd = ::syscall(SYS_openat2, dirFd, path.c_str(), &how, sizeof how);
        if (fd >= 0 || errno != ENOSYS) return static_cast<int>(fd);
        haveOpenat2.store(false, std::memory_order_relaxed);
    }
    // One clean component at a time: O_NOFOLLOW refuses a link, and a clean component
    // cannot climb.
    return WalkFolders(dirFd, path, [](int current, const std::string& part) {
        return ::openat(current, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    });
}

// True when `text` holds a C0 control, DEL or a C1 control (as UTF-8).
bool HasControlCharacter(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) return true;
        if (c == 0xC2 && i + 1 < text.size()) {
            const unsigned char next = static_cast<unsigned char>(text[i + 1]);
            if (next >= 0x80 && next <= 0x9F) return true;
        }
    }
    return false;
}

bool IsCleanComponent(std::string_view part) {
    return !part.empty() && part != "." && part != ".." && part.find('\\') == std::string_view::npos &&
           part.size() <= kMaxFileNameBytes && !HasControlCharacter(part);
}

bool IsCleanRelativePath(std::string_view path) {
    if (path.empty()) return true;
    size_t at = 0;
    while (at <= path.size()) {
        size_t slash = path.find('/', at);
        if (slash == std::string_view::npos) slash = path.size();
        if (!IsCleanComponent(path.substr(at, slash - at))) return false;
        at = slash + 1;
    }
    return true;
}

// `path` as a full path with its links resolved, for comparing; "" when it has none.
std::string CanonicalPath(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
    return ec ? std::string() : p.string();
}

}  // namespace

std::string_view FileNamePart(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string ShortenFileName(std::string_view name, std::size_t limit) {
    if (name.size() <= limit) return std::string(name);
    std::string_view extension;
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && dot > 0 && name.size() - dot <= 16) extension = name.substr(dot);
    std::size_t keep = limit - std::min(limit, extension.size());
    // Never cut inside a UTF-8 character: back up to the start of the one cut.
    while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
    std::string out(name.substr(0, keep));
    out += extension;
    return out;
}

std::string CleanNameComponent(std::string_view name, std::size_t limit) {
    // A NUL byte ends a name for the system: such a text names no file.
    if (name.find('\0') != std::string_view::npos) return {};
    std::string out;
    out.reserve(name.size());
    for (size_t i = 0; i < name.size();) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        const size_t len = Utf8SequenceLength(name, i);
        const bool c1 = len == 2 && c == 0xC2 && static_cast<unsigned char>(name[i + 1]) <= 0x9F;
        if (len == 0 || c1 || (len == 1 && (IsControlCodePoint(c) || c == '/' || c == '\\'))) {
            out += '_';
            i += len == 0 ? 1 : len;
            continue;
        }
        out.append(name.substr(i, len));
        i += len;
    }
    out = ShortenFileName(out, limit);
    if (out.empty() || out == "." || out == "..") return {};
    return out;
}

int OpenFolderBeneath(int rootFd, std::string_view relative, bool create) {
    if (!IsCleanRelativePath(relative)) {
        errno = EINVAL;
        return -1;
    }
    const std::string path = relative.empty() ? std::string(".") : std::string(relative);
    const int fd = OpenBeneathOnce(rootFd, path);
    if (fd >= 0 || errno != ENOENT || !create) return fd;
    // Made one folder at a time on the descriptor of its parent.
    return WalkFolders(rootFd, path, [](int current, const std::string& part) {
        int next = OpenBeneathOnce(current, part);
        if (next < 0 && errno == ENOENT) {
            if (::mkdirat(current, part.c_str(), 0777) == 0 || errno == EEXIST) next = OpenBeneathOnce(current, part);
        }
        return next;
    });
}

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.Release();
    }
    return *this;
}

bool SplitBeneath(std::string_view root, std::string_view file, FileBeneath& out) {
    std::string_view rest;
    if (!root.empty() && root.back() == '/' && file.size() > root.size() && file.substr(0, root.size()) == root) {
        out.root = std::string(root);
        rest = file.substr(root.size());
    } else {
        const size_t slash = file.rfind('/');
        out.root = slash == std::string_view::npos ? std::string("./") : std::string(file.substr(0, slash + 1));
        rest = slash == std::string_view::npos ? file : file.substr(slash + 1);
    }
    const size_t slash = rest.rfind('/');
    out.folder = slash == std::string_view::npos ? std::string() : std::string(rest.substr(0, slash));
    out.name = std::string(slash == std::string_view::npos ? rest : rest.substr(slash + 1));
    return IsCleanComponent(out.name) && IsCleanRelativePath(out.folder);
}

int OpenTargetFolder(const FileBeneath& target, bool create) {
    const FileDescriptor root(::open(target.root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root.Valid()) return -1;
    return OpenFolderBeneath(root.Get(), target.folder, create);
}

bool MakeFolderBeneath(std::string_view root, std::string_view folder) {
    if (root.empty() || folder.size() < root.size() || folder.substr(0, root.size()) != root) {
        errno = EINVAL;
        return false;
    }
    std::string_view relative = folder.substr(root.size());
    while (!relative.empty() && relative.back() == '/') relative.remove_suffix(1);
    const FileDescriptor rootFd(::open(std::string(root).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!rootFd.Valid()) return false;
    return FileDescriptor(OpenFolderBeneath(rootFd.Get(), relative, true)).Valid();
}

bool MoveBeneath(std::string_view root, const std::string& from, const std::string& to) {
    FileBeneath source, target;
    if (!SplitBeneath(root, from, source) || !SplitBeneath(root, to, target)) {
        errno = EINVAL;
        return false;
    }
    const FileDescriptor sourceFolder(OpenTargetFolder(source, false));
    if (!sourceFolder.Valid()) return false;
    const FileDescriptor targetFolder(OpenTargetFolder(target, true));
    if (!targetFolder.Valid()) return false;
    return ::renameat(sourceFolder.Get(), source.name.c_str(), targetFolder.Get(), target.name.c_str()) == 0;
}

ProtectedFiles::ProtectedFiles(const std::vector<std::string>& files) {
    for (const std::string& file : files) {
        if (file.empty()) continue;
        names_.emplace_back(FileNamePart(file));
        const std::string resolved = CanonicalPath(file);
        if (resolved.empty()) continue;
        files_.push_back(resolved);
        names_.emplace_back(FileNamePart(resolved));
    }
}

bool ProtectedFiles::Protects(const std::string& target) const {
    if (files_.empty()) return false;
    const std::string_view name = FileNamePart(target);
    if (std::find(names_.begin(), names_.end(), name) == names_.end()) return false;
    const std::string t = CanonicalPath(target);
    return !t.empty() && std::find(files_.begin(), files_.end(), t) != files_.end();
}

}  // namespace nuv
