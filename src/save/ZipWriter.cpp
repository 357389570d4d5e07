#include "save/ZipWriter.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <system_error>
#include <vector>

#include <archive.h>
#include <archive_entry.h>

#include "common/SaveTargets.h"
#include "common/Text.h"
#include "save/FolderLayout.h"
#include "save/PictureRules.h"
#include "web/Downloader.h"

namespace nuv {

bool IsOrderedZipName(const std::string& path) {
    const std::string lower = LowerAscii(path);
    return lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".cbz") == 0;
}

ZipWriter::ZipWriter(std::string path, bool ordered) : path_(std::move(path)), ordered_(ordered) {
    const std::size_t slash = path_.rfind('/');
    const std::size_t at = slash == std::string::npos ? 0 : slash + 1;
    partial_ = path_.substr(0, at) + std::string(kPartialDownloadPrefix) + path_.substr(at);
    zip_ = archive_write_new();
    if (zip_ == nullptr || archive_write_set_format_zip(zip_) != ARCHIVE_OK ||
        archive_write_open_filename(zip_, partial_.c_str()) != ARCHIVE_OK) {
        const std::string why = zip_ ? archive_error_string(zip_) ? archive_error_string(zip_) : "" : "out of memory";
        if (zip_) archive_write_free(zip_);
        zip_ = nullptr;
        throw std::runtime_error(why.empty() ? "cannot write " + partial_ : why);
    }
}

ZipWriter::~ZipWriter() { Close(); }

std::string ZipWriter::EntryName(const std::string& entry, const std::string& address) {
    const std::size_t slash = entry.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : entry.substr(0, slash + 1);
    const std::string name = entry.substr(folder.size());
    for (int n = 1;; ++n) {
        const std::string candidate = n == 1 ? entry : folder + NumberedFileName(name, n);
        if (entries_.try_emplace(candidate, address).second) return candidate;
    }
}

std::string ZipWriter::Add(const std::string& file, const std::string& entry, const std::string& address,
                           std::pair<std::size_t, std::size_t> key) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (zip_ == nullptr) return {};
    std::error_code ec;
    if (const auto given = given_.find({entry, address}); given != given_.end()) {
        std::filesystem::remove(file, ec);  // the same resource once more
        return given->second;
    }
    const std::string name = EntryName(entry, address);
    given_[{entry, address}] = name;
    files_[file] = name;
    if (ordered_) {
        kept_[key] = {file, name};
        return name;
    }
    if (!Write(file, name)) {
        entries_.erase(name);
        files_.erase(file);
        given_.erase({entry, address});
        return {};
    }
    return name;
}

bool ZipWriter::Write(const std::string& file, const std::string& entry) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(file.c_str(), "rb"), &std::fclose);
    std::error_code ec;
    const auto size = std::filesystem::file_size(file, ec);
    if (!in || ec) return false;
    // Pictures are compressed already: stored, they cost no time to write or to read.
    const std::string extension = FileNamePart(entry).find('.') == std::string_view::npos
                                      ? std::string()
                                      : std::string(entry.substr(entry.rfind('.') + 1));
    if (PictureTypeOfExtension(extension).empty()) archive_write_zip_set_compression_deflate(zip_);
    else archive_write_zip_set_compression_store(zip_);
    const std::unique_ptr<archive_entry, void (*)(archive_entry*)> e(archive_entry_new(), &archive_entry_free);
    archive_entry_set_pathname_utf8(e.get(), entry.c_str());
    archive_entry_set_size(e.get(), static_cast<la_int64_t>(size));
    archive_entry_set_filetype(e.get(), AE_IFREG);
    archive_entry_set_perm(e.get(), 0644);
    archive_entry_set_mtime(e.get(), std::time(nullptr), 0);
    if (archive_write_header(zip_, e.get()) != ARCHIVE_OK) {
        error_ = archive_error_string(zip_) ? archive_error_string(zip_) : "cannot write the ZIP";
        return false;
    }
    std::vector<char> buffer(1 << 16);
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), in.get())) > 0) {
        if (archive_write_data(zip_, buffer.data(), got) < 0) {
            error_ = archive_error_string(zip_) ? archive_error_string(zip_) : "cannot write the ZIP";
            return false;
        }
    }
    if (archive_write_finish_entry(zip_) != ARCHIVE_OK) return false;
    in.reset();
    std::filesystem::remove(file, ec);
    return true;
}

std::string ZipWriter::EntryOf(const std::string& file) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = files_.find(file);
    return it == files_.end() ? std::string() : it->second;
}

std::string ZipWriter::Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (zip_ == nullptr) return {};
    for (const auto& [key, kept] : kept_) {
        if (!Write(kept.first, kept.second) && error_.empty()) error_ = "cannot put " + kept.first + " into the ZIP";
    }
    kept_.clear();
    const bool closed = archive_write_close(zip_) == ARCHIVE_OK;
    if (!closed && error_.empty()) error_ = archive_error_string(zip_) ? archive_error_string(zip_) : "cannot write the ZIP";
    archive_write_free(zip_);
    zip_ = nullptr;
    std::error_code ec;
    if (closed) std::filesystem::rename(partial_, path_, ec);
    if (ec && error_.empty()) error_ = "cannot name the ZIP " + path_ + ": " + ec.message();
    if (!closed || ec) std::filesystem::remove(partial_, ec);
    return error_;
}

}  // namespace nuv
