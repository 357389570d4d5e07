#include "common/FileText.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nuv {

std::optional<std::string> ReadFileText(const std::string& path, std::size_t maxBytes) {
    // Non-blocking, so that opening a FIFO put in place of the file returns at once.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> result;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::uintmax_t>(st.st_size) <= maxBytes) {
        std::string bytes;
        bytes.resize(static_cast<std::size_t>(st.st_size));
        std::size_t done = 0;
        bool failed = false;
        // The file may grow while it is read; what goes past the limit makes it too big.
        for (;;) {
            if (done == bytes.size()) {
                if (bytes.size() > maxBytes) break;
                bytes.resize(std::min<std::size_t>(maxBytes + 1, bytes.size() + 4096));
            }
            const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) failed = true;
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        if (!failed && done <= maxBytes) {
            bytes.resize(done);
            result = std::move(bytes);
        }
    }
    ::close(fd);
    return result;
}

std::string ReadFileHead(const std::string& path, std::size_t bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return {};
    std::string head;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        head.resize(bytes);
        std::size_t done = 0;
        for (ssize_t n; done < bytes;) {
            n = ::read(fd, head.data() + done, bytes - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        head.resize(done);
    }
    ::close(fd);
    return head;
}

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int error) {
    throw std::runtime_error(what + " " + path + ": " + std::strerror(error));
}

}  // namespace

void WriteFileAtomically(const std::string& path, std::string_view content) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = folder + "." + name + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) Fail("cannot create a file beside", path, errno);

    int error = 0;
    struct stat old {};
    const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    if (fchmod(fd, mode) != 0) error = errno;
    size_t done = 0;
    while (error == 0 && done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
        } else {
            done += static_cast<size_t>(n);
        }
    }
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        Fail("cannot write", path, error);
    }
}

}  // namespace nuv
