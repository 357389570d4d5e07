#include "web/CurlDownloader.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <mutex>
#include <random>
#include <system_error>
#include <unordered_map>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <curl/curl.h>

#include "common/SaveTargets.h"
#include "common/Text.h"
#include "web/AddressSpace.h"
#include "web/FetchPolicy.h"
#include "web/ProxyChoice.h"

namespace nuv {

// The folders that the files of the parallel downloads go into, each opened beneath the
// save folder (OpenTargetFolder) once and held, so that a run's thousand pictures of one
// page do not open their folder a thousand times. A folder removed meanwhile is opened
// again (PartialFile::OpenFile); one moved takes the files that follow with it, as a
// folder a program writes into does. On the thread that runs the parallel downloads.
class OpenFolders {
public:
    // The folder of `where`, -1 with errno set when it cannot be had.
    int Get(const FileBeneath& where) {
        key_.assign(where.root).append(where.folder);
        if (const auto it = held_.find(key_); it != held_.end()) return it->second.Get();
        FileDescriptor folder(OpenTargetFolder(where, true));
        if (!folder.Valid()) return -1;
        // A run of many pages' folders keeps a bounded number open.
        if (held_.size() >= kHeld) held_.clear();
        return held_.emplace(key_, std::move(folder)).first->second.Get();
    }
    void Forget(const FileBeneath& where) { held_.erase(where.root + where.folder); }

private:
    static constexpr std::size_t kHeld = 64;
    std::string key_;
    std::unordered_map<std::string, FileDescriptor> held_;
};

namespace {

using Clock = std::chrono::steady_clock;

// How often the progress function runs while no byte arrives, and the longest single
// wait for the network.
constexpr auto kReportInterval = std::chrono::milliseconds(100);
constexpr int kPollMillis = 100;
constexpr int kMaxRedirects = 20;
// The bytes of a body held in memory before they are written: a picture reaches its file
// in one write.
constexpr std::size_t kWriteBuffer = std::size_t{256} << 10;

std::string PartialName() {
    // One generator a thread: downloaders on several threads name their files at once.
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(rng()));
    return std::string(kPartialDownloadPrefix) + suffix;
}

// Whether an unnamed file can be given a name through its descriptor alone; that needs a
// capability the process may lack, and then the name goes through /proc.
std::atomic<bool> linkByDescriptor{true};

// The file a download writes into, in the folder of its target opened beneath the save
// folder (see SplitBeneath): every step after that goes by that folder's descriptor, so
// no link and no name that a page or server gave leads out of it. Where the file system
// allows it the file has no name until it is complete, so no listing of the folder ever
// shows a download in progress; elsewhere it carries a partial-download name from the
// start. The body is held in memory up to kWriteBuffer bytes, so a small file costs one
// write.
class PartialFile {
public:
    PartialFile() = default;
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;
    ~PartialFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!name_.empty()) ::unlinkat(folderFd_, name_.c_str(), 0);
    }

    // A body held in `body` alone, which no file is made for.
    void OpenInMemory(std::string& body) {
        memory_ = &body;
        memory_->clear();
    }

    // Opens the folder of `target` (made when missing) and a file in it. Returns "" or
    // why that cannot be done.
    std::string Open(const std::string& root, const std::string& target) {
        if (std::string why = Aim(root, target); !why.empty()) return why;
        return OpenFile(nullptr);
    }

    // Takes `target` beneath `root` as the file's name, which must be one of a save
    // folder; the file itself is opened later (OpenFile), by the first write that does
    // not fit the buffer or by Commit. Returns "" or why the name is refused.
    std::string Aim(const std::string& root, const std::string& target) {
        if (!SplitBeneath(root, target, where_)) return "the name of the file is not one of a save folder";
        deferred_ = true;
        return {};
    }

    // Opens the folder of the target (made when missing), through `folders` when given,
    // and a file in it. Returns "" or why that cannot be done.
    std::string OpenFile(OpenFolders* folders) {
        deferred_ = false;
        if (folders != nullptr) {
            folderFd_ = folders->Get(where_);
            if (folderFd_ < 0) return FolderFailure();
            if (OpenIn(folderFd_)) return {};
            if (errno != ENOENT) return CannotWrite();
            // The folder held since an earlier file was removed meanwhile: it is opened anew.
            folders->Forget(where_);
        }
        folder_ = FileDescriptor(OpenTargetFolder(where_, true));
        folderFd_ = folder_.Get();
        if (folderFd_ < 0) return FolderFailure();
        return OpenIn(folderFd_) ? std::string() : CannotWrite();
    }

    bool Write(const char* data, std::size_t n) {
        if (memory_ != nullptr) {
            memory_->append(data, n);
            return true;
        }
        if (buffer_.size() + n > kWriteBuffer) {
            if (deferred_ && !(failure_ = OpenFile(nullptr)).empty()) return false;
            if (!Flush()) return false;
            if (n >= kWriteBuffer) return WriteAll(data, n);
        }
        if (buffer_.capacity() == 0) buffer_.reserve(std::min(std::max(n, std::size_t{32} << 10), kWriteBuffer));
        buffer_.append(data, n);
        return true;
    }
    std::uint64_t Size() const { return memory_ != nullptr ? memory_->size() : written_ + buffer_.size(); }
    // Why the file could not be opened when a write needed it; "" when it could.
    const std::string& Failure() const { return failure_; }

    // Writes what is held and gives the file the target's name, opening it first (through
    // `folders` when given) when that was put off. False when that cannot be done (with
    // Failure() saying why when the file could not be opened); the target is then untouched.
    bool Commit(OpenFolders* folders = nullptr) {
        if (memory_ != nullptr) return true;
        if (deferred_ && !(failure_ = OpenFile(folders)).empty()) return false;
        if (fd_ < 0 || !Flush()) return false;
        const std::string& target = where_.name;
        if (name_.empty()) {
            // A new name takes the complete file at once; an older file of that name is
            // replaced through a partial name and a rename.
            if (Link(target)) return true;
            if (errno != EEXIST) return false;
            for (int attempt = 0; attempt < 8 && name_.empty(); ++attempt) {
                const std::string candidate = PartialName();
                if (Link(candidate)) name_ = candidate;
                else if (errno != EEXIST) return false;
            }
            if (name_.empty()) return false;
        }
        // A link of the target's name is replaced, never followed.
        if (::renameat(folderFd_, name_.c_str(), folderFd_, target.c_str()) != 0) return false;
        name_.clear();
        return true;
    }

private:
    // Opens a file in `folder`: unnamed where the file system allows it, else under a
    // partial-download name. False (errno set) when it cannot.
    bool OpenIn(int folder) {
        fd_ = ::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        for (int attempt = 0; attempt < 8 && fd_ < 0; ++attempt) {
            name_ = PartialName();
            fd_ = ::openat(folder, name_.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd_ < 0 && errno != EEXIST) break;
        }
        if (fd_ >= 0) return true;
        const int error = errno;
        name_.clear();
        errno = error;
        return false;
    }
    // Why the folder of the target (errno) or a file in it cannot be had.
    std::string FolderFailure() const {
        if (errno == ELOOP || errno == EXDEV || errno == EINVAL)
            return "a link or a name on the way leads out of the save folder";
        return CannotWrite();
    }
    std::string CannotWrite() const {
        return "cannot write into " + where_.root + where_.folder + ": " + std::strerror(errno);
    }
    bool WriteAll(const char* data, std::size_t n) {
        while (n > 0) {
            const ssize_t w = ::write(fd_, data, n);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return false;
            data += w;
            n -= static_cast<std::size_t>(w);
            written_ += static_cast<std::uint64_t>(w);
        }
        return true;
    }
    bool Flush() {
        const bool ok = WriteAll(buffer_.data(), buffer_.size());
        buffer_.clear();
        return ok;
    }
    // Gives the unnamed file the name `name` in its folder; false (errno set) when it cannot.
    bool Link(const std::string& name) {
        if (linkByDescriptor.load(std::memory_order_relaxed)) {
            if (::linkat(fd_, "", folderFd_, name.c_str(), AT_EMPTY_PATH) == 0) return true;
            if (errno != ENOENT && errno != EPERM && errno != EINVAL) return false;
        }
        const std::string proc = "/proc/self/fd/" + std::to_string(fd_);
        if (::linkat(AT_FDCWD, proc.c_str(), folderFd_, name.c_str(), AT_SYMLINK_FOLLOW) != 0) return false;
        linkByDescriptor.store(false, std::memory_order_relaxed);
        return true;
    }

    FileBeneath where_;
    FileDescriptor folder_;  // the folder, unless an OpenFolders holds it
    int folderFd_ = -1;      // the folder the file is in
    bool deferred_ = false;  // named by Aim, not opened yet
    std::string failure_;
    std::string name_;  // empty while the file has no name
    int fd_ = -1;
    std::string buffer_;
    std::uint64_t written_ = 0;
    std::string* memory_ = nullptr;
};

std::string DurationText(std::chrono::milliseconds d) {
    if (d.count() % 1000 == 0) return std::to_string(d.count() / 1000) + " s";
    return std::to_string(d.count()) + " ms";
}

}  // namespace

struct CurlDownloader::Handle {
    CURL* curl = nullptr;
    std::uint64_t cookieSerial = 0;  // the cookie set its jar was loaded with; 0: none
    bool jarChanged = false;         // a response has set cookies in it since
    std::string defaultCa;           // libcurl's own certificate authorities
    std::string caFile;              // those the handle verifies against now
    ~Handle() {
        if (curl) curl_easy_cleanup(curl);
    }
};

struct CurlDownloader::Transfer {
    Handle* handle = nullptr;
    std::size_t id = 0;
    std::string target;
    std::string page;
    std::string request;  // the address of the current request
    std::string referer;
    PartialFile file;
    std::string* memory = nullptr;  // the body's place instead of the file
    std::uint64_t received = 0;  // body bytes of every step, redirects included
    std::uint64_t maxBytes = 0;  // 0: no bound
    bool tooLarge = false;
    int redirects = 0;
    Clock::time_point deadline = Clock::time_point::max();
    std::chrono::milliseconds maxTime{0};
    char error[CURL_ERROR_SIZE] = {};
    // DownloadToFile's: its progress function, the wait hook, and what either threw.
    const DownloadProgressFn* progress = nullptr;
    const std::function<void()>* waitHook = nullptr;
    std::exception_ptr failure;
    Clock::time_point lastReport = Clock::now();
    Clock::time_point lastHook = Clock::now();
    std::unique_ptr<Handle> own;  // a parallel download's handle
    // The network rule: the space of the page, whether the request goes through the
    // user's proxy (which resolves the names), and the address it refused, if any.
    AddressSpace pageSpace = AddressSpace::Local;
    bool viaProxy = false;
    std::string refused;
};

namespace {

using Transfer = CurlDownloader::Transfer;

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    t->received += n;
    if (t->maxBytes > 0 && t->received > t->maxBytes) {
        t->tooLarge = true;
        return 0;
    }
    long code = 0;
    curl_easy_getinfo(t->handle->curl, CURLINFO_RESPONSE_CODE, &code);
    if (code >= 300 && code <= 399) return n;  // the body of a redirect is not the resource
    return t->file.Write(data, n) ? n : 0;
}

void Report(Transfer& t, curl_off_t total, curl_off_t now) {
    t.lastReport = Clock::now();
    if (!t.progress || !*t.progress) return;
    long code = 0;
    curl_easy_getinfo(t.handle->curl, CURLINFO_RESPONSE_CODE, &code);
    DownloadProgress p;
    p.progress = static_cast<std::uint64_t>(now < 0 ? 0 : now);
    p.maximum = static_cast<std::uint64_t>(total < 0 ? 0 : total);
    p.statusCode = static_cast<int>(code);
    char* type = nullptr;
    if (curl_easy_getinfo(t.handle->curl, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type) p.contentType = type;
    p.address = t.request;
    (*t.progress)(p);
}

// A report between two steps of the transfer, from what the handle knows.
void ReportState(Transfer& t) {
    curl_off_t now = 0;
    curl_off_t total = -1;
    curl_easy_getinfo(t.handle->curl, CURLINFO_SIZE_DOWNLOAD_T, &now);
    curl_easy_getinfo(t.handle->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &total);
    Report(t, total, now);
}

int ReportProgress(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(user);
    if (t->failure) return 1;
    try {
        Report(*t, total, now);
    } catch (...) {
        t->failure = std::current_exception();  // rethrown once curl has let go
        return 1;
    }
    return 0;
}

// Every connection libcurl opens passes here, with the address a name resolved to: one
// that the page may not reach is never connected to. The proxy the user set is the
// user's own choice.
curl_socket_t OpenSocket(void* user, curlsocktype purpose, curl_sockaddr* address) {
    auto* t = static_cast<Transfer*>(user);
    if (purpose == CURLSOCKTYPE_IPCXN && !t->viaProxy) {
        const AddressSpace space = SpaceOfSocketAddress(&address->addr);
        if (!MayReach(t->pageSpace, space)) {
            t->refused = SocketAddressText(&address->addr);
            return CURL_SOCKET_BAD;
        }
    }
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

// Before each request, on a new connection or one kept from an earlier download (of
// another page, perhaps): the address it is connected to is judged again.
int BeforeRequest(void* user, char* primaryIp, char*, int, int) {
    auto* t = static_cast<Transfer*>(user);
    if (t->viaProxy || !primaryIp) return CURL_PREREQFUNC_OK;
    const std::optional<AddressSpace> space = SpaceOfIpText(primaryIp);
    if (space && !MayReach(t->pageSpace, *space)) {
        t->refused = primaryIp;
        return CURL_PREREQFUNC_ABORT;
    }
    return CURL_PREREQFUNC_OK;
}

DownloadError TransferFailure(CURLcode rc, const Transfer& t) {
    if (rc == CURLE_WRITE_ERROR && !t.file.Failure().empty()) return DownloadError(t.file.Failure(), DownloadFailure::Write);
    if (t.tooLarge || rc == CURLE_FILESIZE_EXCEEDED)
        return DownloadError("the download is larger than the bound of " + std::to_string(t.maxBytes) + " bytes",
                             DownloadFailure::TooLarge);
    if (rc == CURLE_OPERATION_TIMEDOUT && Clock::now() >= t.deadline)
        return DownloadError("the download took longer than " + DurationText(t.maxTime), DownloadFailure::TimedOut);
    if (!t.refused.empty())
        return DownloadError(PrivateNetworkRefusal(t.refused, t.pageSpace), DownloadFailure::PrivateNetwork);
    const std::string text = t.error[0] ? std::string(t.error) : std::string(curl_easy_strerror(rc));
    switch (rc) {
        case CURLE_UNSUPPORTED_PROTOCOL: return DownloadError("refused: " + text, DownloadFailure::Refused);
        case CURLE_OPERATION_TIMEDOUT: return DownloadError(text, DownloadFailure::TimedOut).WithTransient();
        case CURLE_HTTP_RETURNED_ERROR: {
            long code = 0;
            curl_easy_getinfo(t.handle->curl, CURLINFO_RESPONSE_CODE, &code);
            curl_off_t wait = -1;
            std::optional<std::chrono::seconds> retryAfter;
            if (curl_easy_getinfo(t.handle->curl, CURLINFO_RETRY_AFTER, &wait) == CURLE_OK && wait > 0)
                retryAfter = std::chrono::seconds(std::min<curl_off_t>(wait, 24 * 3600));
            // A Retry-After of 0 (or none) leaves the wait to the back-off.
            return DownloadError(text, DownloadFailure::Http).WithAnswer(static_cast<int>(code), retryAfter);
        }
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_PARTIAL_FILE:
        case CURLE_GOT_NOTHING:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM: return DownloadError(text, DownloadFailure::Network).WithTransient();
        case CURLE_WRITE_ERROR: return DownloadError(text, DownloadFailure::Write);
        case CURLE_ABORTED_BY_CALLBACK: return DownloadError(text, DownloadFailure::Cancelled);
        default: return DownloadError(text, DownloadFailure::Network);
    }
}

// Runs one request of the transfer through `multi` until it ends, waking at least every
// 100 ms to report progress, run the wait hook and check the time bound. What the
// progress function or the hook throws leaves here unchanged, with the handle detached.
CURLcode Drive(CURLM* multi, Transfer& t) {
    CURL* curl = t.handle->curl;
    if (curl_multi_add_handle(multi, curl) != CURLM_OK) throw DownloadError("cannot start a download");
    struct Detach {
        CURLM* multi;
        CURL* curl;
        ~Detach() { curl_multi_remove_handle(multi, curl); }
    } detach{multi, curl};
    while (true) {
        int running = 0;
        const CURLMcode performed = curl_multi_perform(multi, &running);
        if (t.failure) std::rethrow_exception(t.failure);
        if (performed != CURLM_OK) throw DownloadError(curl_multi_strerror(performed));
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == curl) return message->data.result;
        }
        const auto now = Clock::now();
        if (now >= t.deadline)
            throw DownloadError("the download took longer than " + DurationText(t.maxTime), DownloadFailure::TimedOut);
        if (now - t.lastReport >= kReportInterval) ReportState(t);
        if (t.waitHook && *t.waitHook && now - t.lastHook >= kReportInterval) {
            t.lastHook = now;
            (*t.waitHook)();
        }
        const CURLMcode polled = curl_multi_poll(multi, nullptr, 0, kPollMillis, nullptr);
        if (polled != CURLM_OK) throw DownloadError(curl_multi_strerror(polled));
    }
}

}  // namespace

CurlDownloader::CurlDownloader() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    CURLSH* share = curl_share_init();
    if (share) curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    share_ = share;
    folders_ = std::make_unique<OpenFolders>();
}

void* CurlDownloader::ParallelMulti() {
    std::call_once(parallelOnce_, [this] { parallelMulti_ = curl_multi_init(); });
    return parallelMulti_;
}

CurlDownloader::~CurlDownloader() {
    for (auto& t : running_) curl_multi_remove_handle(static_cast<CURLM*>(parallelMulti_), t->handle->curl);
    running_.clear();
    if (parallelMulti_) curl_multi_cleanup(static_cast<CURLM*>(parallelMulti_));
    if (sharedMulti_) curl_multi_cleanup(static_cast<CURLM*>(sharedMulti_));
    shared_.reset();
    idle_.clear();
    if (share_) curl_share_cleanup(static_cast<CURLSH*>(share_));
}

std::unique_ptr<CurlDownloader::Handle> CurlDownloader::NewHandle() {
    auto h = std::make_unique<Handle>();
    h->curl = curl_easy_init();
    if (!h->curl) throw DownloadError("cannot start a download");
    CURL* c = h->curl;
    // Redirects are followed here, not by curl, so that each one is checked against the
    // fetch rules and carries the Referer that fits its own origin.
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 15L);
    // An address without a scheme is taken as http (never guessed as ftp from its host).
    curl_easy_setopt(c, CURLOPT_DEFAULT_PROTOCOL, "http");
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &WriteBody);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &ReportProgress);
    // A picture with its headers fits one read.
    curl_easy_setopt(c, CURLOPT_BUFFERSIZE, 64L << 10);
    if (share_) curl_easy_setopt(c, CURLOPT_SHARE, static_cast<CURLSH*>(share_));
    curl_easy_setopt(c, CURLOPT_OPENSOCKETFUNCTION, &OpenSocket);
    curl_easy_setopt(c, CURLOPT_PREREQFUNCTION, &BeforeRequest);
    // Which hosts skip the proxy is decided for each request (EnvironmentProxy).
    curl_easy_setopt(c, CURLOPT_NOPROXY, "");
    char* defaultCa = nullptr;
    if (curl_easy_getinfo(c, CURLINFO_CAINFO, &defaultCa) == CURLE_OK && defaultCa) h->defaultCa = defaultCa;
    h->caFile = h->defaultCa;
    return h;
}

const CurlDownloader::CookieSet& CurlDownloader::CookiesFor(const std::string& page) {
    const std::optional<std::uint64_t> generation = cookies_ ? cookies_->Generation() : std::optional<std::uint64_t>(0);
    if (cookieCache_ && cookieCache_->source == cookies_ && cookieCache_->page == page && generation &&
        cookieCache_->generation == generation)
        return *cookieCache_;
    CookieSet set;
    set.source = cookies_;
    set.generation = generation;
    set.page = page;
    if (cookies_) set.lines = CookieLinesForPage(cookies_->CookieLines(), page);
    // An unchanged set keeps its serial, so no handle loads it again.
    set.serial = cookieCache_ && cookieCache_->lines == set.lines ? cookieCache_->serial : ++cookieSerial_;
    cookieCache_ = std::move(set);
    return *cookieCache_;
}

void CurlDownloader::Begin(Transfer& t, const DownloadBounds& bounds, bool openLater) {
    if (t.memory != nullptr) {
        t.file.OpenInMemory(*t.memory);
    } else if (const std::string why = openLater ? t.file.Aim(beneath_, t.target) : t.file.Open(beneath_, t.target);
               !why.empty()) {
        throw DownloadError(why, DownloadFailure::Write);
    }
    for (const std::uint64_t bound : {maxBytes_, bounds.maxBytes})
        if (bound > 0 && (t.maxBytes == 0 || bound < t.maxBytes)) t.maxBytes = bound;
    t.maxTime = bounds.maxTime;
    if (bounds.maxTime.count() > 0) t.deadline = Clock::now() + bounds.maxTime;

    Handle& h = *t.handle;
    CURL* c = h.curl;
    curl_easy_setopt(c, CURLOPT_USERAGENT, userAgent_.c_str());
    curl_easy_setopt(c, CURLOPT_MAX_RECV_SPEED_LARGE, static_cast<curl_off_t>(maxRecvSpeed_));
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, stallSeconds_ > 0 ? 1L : 0L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, stallSeconds_ > 0 ? stallSeconds_ : 0L);
    curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(t.maxBytes));
    const std::string& ca = caFile_.empty() ? h.defaultCa : caFile_;
    if (h.caFile != ca) {
        curl_easy_setopt(c, CURLOPT_CAINFO, ca.empty() ? nullptr : ca.c_str());
        h.caFile = ca;
    }
    // curl's own protocol list repeats the rule.
    const char* protocols = httpsOnly_ ? "https" : IsLocalPageAddress(t.page) ? "http,https,file" : "http,https";
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, protocols);
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, httpsOnly_ ? "https" : "http,https");
    // The browser's cookies that the page's own requests would carry: curl's own engine,
    // which "ALL" switches on and empties, picks those that fit each request, redirects
    // included. A handle's jar is loaded again when the set changes or a response has
    // added to it, so every download starts from the browser's cookies alone.
    const CookieSet& cookies = CookiesFor(t.page);
    if (h.cookieSerial != cookies.serial || h.jarChanged) {
        if (h.cookieSerial != 0 || !cookies.lines.empty()) {
            curl_easy_setopt(c, CURLOPT_COOKIELIST, "ALL");
            for (const std::string& line : cookies.lines) curl_easy_setopt(c, CURLOPT_COOKIELIST, line.c_str());
        }
        h.cookieSerial = cookies.lines.empty() && h.cookieSerial == 0 ? 0 : cookies.serial;
        h.jarChanged = false;
    }
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, t.error);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, t.progress && *t.progress ? 0L : 1L);
    curl_easy_setopt(c, CURLOPT_PRIVATE, &t);
    curl_easy_setopt(c, CURLOPT_OPENSOCKETDATA, &t);
    curl_easy_setopt(c, CURLOPT_PREREQDATA, &t);
    t.pageSpace = allowPrivate_ ? AddressSpace::Local : SpaceOfPage(t.page);
}

void CurlDownloader::Aim(Transfer& t) {
    CURL* c = t.handle->curl;
    const std::string host = AddressHost(t.request);
    std::string scheme = AddressScheme(t.request);
    if (scheme.empty()) scheme = "http";
    const std::string proxy = scheme == "file" ? std::string() : EnvironmentProxy(scheme, host, proxy_);
    t.viaProxy = !proxy.empty();
    // Through a proxy the proxy resolves the names: only a host written as a number can
    // be judged, and it is, before anything is sent.
    if (t.viaProxy) {
        if (const auto space = SpaceOfIpText(host); space && !MayReach(t.pageSpace, *space))
            throw DownloadError(PrivateNetworkRefusal(host, t.pageSpace), DownloadFailure::PrivateNetwork);
    }
    curl_easy_setopt(c, CURLOPT_PROXY, proxy.c_str());
    t.refused.clear();
    curl_easy_setopt(c, CURLOPT_URL, t.request.c_str());
    t.referer = RefererFor(t.page, t.request);
    curl_easy_setopt(c, CURLOPT_REFERER, t.referer.empty() ? nullptr : t.referer.c_str());
    long timeout = 0;
    if (t.deadline != Clock::time_point::max()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t.deadline - Clock::now());
        if (left.count() <= 0)
            throw DownloadError("the download took longer than " + DurationText(t.maxTime), DownloadFailure::TimedOut);
        timeout = static_cast<long>(left.count());
    }
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, timeout);
    t.error[0] = '\0';
}

bool CurlDownloader::Redirected(Transfer& t, int result) {
    const auto rc = static_cast<CURLcode>(result);
    CURL* c = t.handle->curl;
    if (t.handle->cookieSerial != 0) {
        // Cookies a response set stay for the rest of this download only.
        curl_header* set = nullptr;
        if (curl_easy_header(c, "Set-Cookie", 0, CURLH_HEADER, -1, &set) == CURLHE_OK) t.handle->jarChanged = true;
    }
    if (cookieSink_ && rc == CURLE_OK) {
        curl_header* set = nullptr;
        for (size_t i = 0; curl_easy_header(c, "Set-Cookie", i, CURLH_HEADER, -1, &set) == CURLHE_OK; ++i) {
            cookieSink_(set->value, t.request);
            if (i + 1 >= set->amount) break;
        }
    }
    if (rc != CURLE_OK) throw TransferFailure(rc, t);
    long code = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &code);
    if (code < 300 || code > 399) return false;
    char* location = nullptr;
    curl_easy_getinfo(c, CURLINFO_REDIRECT_URL, &location);
    if (!location) throw DownloadError("HTTP " + std::to_string(code) + " without a Location", DownloadFailure::Http);
    if (t.redirects >= kMaxRedirects)
        throw DownloadError("more than " + std::to_string(kMaxRedirects) + " redirects", DownloadFailure::Http);
    std::string next = location;
    if (!MayFetch(next, {}) || (httpsOnly_ && AddressScheme(next) != "https"))
        throw DownloadError("redirect " + RefusalText(next), DownloadFailure::Refused);
    if (redirectRule_ && !redirectRule_(next))
        throw DownloadError("redirect to " + next + " refused: it leaves the hosts this download may use",
                            DownloadFailure::Refused);
    ++t.redirects;
    t.request = std::move(next);
    Aim(t);
    return true;
}

void CurlDownloader::DownloadToFile(const std::string& url, const std::string& filePath,
                                    const DownloadProgressFn& progress, const DownloadBounds& bounds) {
    DownloadOne(url, filePath, nullptr, progress, bounds);
}

void CurlDownloader::DownloadToMemory(const std::string& url, std::string& body, const DownloadProgressFn& progress,
                                      const DownloadBounds& bounds) {
    DownloadOne(url, {}, &body, progress, bounds);
}

void CurlDownloader::DownloadOne(const std::string& url, const std::string& filePath, std::string* body,
                                 const DownloadProgressFn& progress, const DownloadBounds& bounds) {
    const std::string page = pageAddress_ ? pageAddress_() : std::string();
    // Checked before anything else happens: no connection, no file.
    if (!MayFetch(url, page)) throw DownloadError(RefusalText(url), DownloadFailure::Refused);
    // The shared handle keeps its connections between downloads; a nested download
    // (started while the shared one runs) uses a handle of its own.
    std::unique_ptr<Handle> ownHandle;
    std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)> ownMulti(nullptr, &curl_multi_cleanup);
    Handle* handle = nullptr;
    CURLM* multi = nullptr;
    const bool useShared = !sharedBusy_;
    if (useShared) {
        if (!shared_) shared_ = NewHandle();
        if (!sharedMulti_) sharedMulti_ = curl_multi_init();
        handle = shared_.get();
        multi = static_cast<CURLM*>(sharedMulti_);
    } else {
        ownHandle = NewHandle();
        ownMulti.reset(curl_multi_init());
        handle = ownHandle.get();
        multi = ownMulti.get();
    }
    if (!multi) throw DownloadError("cannot start a download");

    Transfer t;
    t.handle = handle;
    t.target = filePath;
    t.memory = body;
    t.page = page;
    t.progress = &progress;
    t.waitHook = &waitHook_;
    Begin(t, bounds);
    struct Busy {
        bool* flag;
        ~Busy() {
            if (flag) *flag = false;
        }
    } busy{useShared ? &sharedBusy_ : nullptr};
    if (useShared) sharedBusy_ = true;
    t.request = EncodeRequestAddress(url);
    Aim(t);
    while (Redirected(t, Drive(multi, t))) {
    }
    ReportState(t);
    if (!t.file.Commit()) throw DownloadError("cannot write " + filePath, DownloadFailure::Write);
}

void CurlDownloader::Start(std::size_t id, const std::string& url, const std::string& filePath,
                           const std::string& pageAddress) {
    try {
        if (!MayFetch(url, pageAddress)) throw DownloadError(RefusalText(url), DownloadFailure::Refused);
        auto t = std::make_unique<Transfer>();
        t->id = id;
        t->target = filePath;
        t->page = pageAddress;
        if (idle_.empty()) {
            t->own = NewHandle();
        } else {
            t->own = std::move(idle_.back());
            idle_.pop_back();
        }
        t->handle = t->own.get();
        // Its file is opened once the body is there (or outgrows the buffer): a failed
        // download opens none.
        Begin(*t, {}, true);
        t->request = EncodeRequestAddress(url);
        Aim(*t);
        auto* multi = static_cast<CURLM*>(ParallelMulti());
        if (!multi || curl_multi_add_handle(multi, t->handle->curl) != CURLM_OK)
            throw DownloadError("cannot start a download");
        running_.push_back(std::move(t));
    } catch (const DownloadError& e) {
        refused_.push_back({id, 0, e});
    } catch (const std::exception& e) {
        refused_.push_back({id, 0, DownloadError(e.what())});
    }
}

void CurlDownloader::Collect(std::vector<Ended>& ended) {
    auto* multi = static_cast<CURLM*>(ParallelMulti());
    int running = 0;
    curl_multi_perform(multi, &running);
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
        if (message->msg != CURLMSG_DONE) continue;
        CURL* curl = message->easy_handle;
        const CURLcode rc = message->data.result;
        auto it = std::find_if(running_.begin(), running_.end(),
                               [curl](const std::unique_ptr<Transfer>& t) { return t->handle->curl == curl; });
        if (it == running_.end()) continue;
        Transfer& t = **it;
        curl_multi_remove_handle(multi, curl);
        Ended end;
        end.id = t.id;
        try {
            if (Redirected(t, rc)) {
                if (curl_multi_add_handle(multi, curl) != CURLM_OK) throw DownloadError("cannot start a download");
                continue;
            }
            if (!t.file.Commit(folders_.get())) {
                if (!t.file.Failure().empty()) throw DownloadError(t.file.Failure(), DownloadFailure::Write);
                throw DownloadError("cannot write " + t.target, DownloadFailure::Write);
            }
            end.size = t.file.Size();
            char* type = nullptr;
            if (curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type) end.contentType = type;
        } catch (const DownloadError& e) {
            end.error = e;
        } catch (const std::exception& e) {
            end.error = DownloadError(e.what());
        }
        ended.push_back(std::move(end));
        idle_.push_back(std::move(t.own));
        running_.erase(it);
    }
}

void CurlDownloader::Wait(std::chrono::milliseconds timeout, std::vector<Ended>& ended) {
    const std::size_t before = ended.size();
    ended.insert(ended.end(), refused_.begin(), refused_.end());
    refused_.clear();
    auto* multi = static_cast<CURLM*>(ParallelMulti());
    if (!multi) return;
    if (!running_.empty()) Collect(ended);
    if (ended.size() > before) return;
    const int millis = static_cast<int>(std::clamp<long long>(timeout.count(), 0, 60000));
    curl_multi_poll(multi, nullptr, 0, millis, nullptr);
    if (!running_.empty()) Collect(ended);
}

void CurlDownloader::Wake() {
    if (void* multi = ParallelMulti()) curl_multi_wakeup(static_cast<CURLM*>(multi));
}

std::string SaveBeneath(const std::string& root, const std::string& target, std::string_view text) {
    PartialFile file;
    if (std::string why = file.Open(root, target); !why.empty()) return why;
    if (!file.Write(text.data(), text.size()) || !file.Commit())
        return "cannot write " + target + ": " + std::strerror(errno);
    return {};
}

}  // namespace nuv
