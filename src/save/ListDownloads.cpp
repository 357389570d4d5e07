#include "save/ListDownloads.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <tuple>
#include <utility>

#include <sys/stat.h>

#include "common/FileText.h"
#include "save/FileDigest.h"
#include "web/CurlDownloader.h"
#include "web/Downloader.h"

namespace nuv {
namespace {

// The picture type of a finished download: that of its answer's Content-Type, else of its
// first bytes, else of its address.
std::string AnsweredPictureType(const std::string& file, std::string_view contentType, std::string_view address) {
    const std::string head = ReadFileHead(file, 64);
    const std::string extension = ExtensionFromAnswer(contentType, head);
    if (!extension.empty()) {
        const std::string type = PictureTypeOfExtension(std::string_view(extension).substr(1));
        if (!type.empty()) return type;
    }
    return PictureTypeOf(address, {});
}

}  // namespace

RunFiles::RunFiles(std::string saveFolder, DownloadArchive* downloadArchive)
    : base(std::move(saveFolder)),
      archive(downloadArchive),
      claims([this](const std::string& file, const std::string& address) {
          return archive != nullptr && archive->FileOfOtherAddress(InFolder(file), address);
      }) {}

std::optional<PictureLook> RunFiles::LookOf(const std::string& sha256) {
    std::lock_guard<std::mutex> lock(looksMutex_);
    const auto it = looks_.find(sha256);
    if (it == looks_.end()) return std::nullopt;
    return it->second;
}

void RunFiles::NoteLook(const std::string& sha256, const PictureLook& look) {
    std::lock_guard<std::mutex> lock(looksMutex_);
    looks_.emplace(sha256, look);
}

std::string RunFiles::InFolder(const std::string& file) const {
    return file.compare(0, base.size(), base) == 0 ? file.substr(base.size()) : file;
}

ListDownloads::ListDownloads(DocType type, std::string folder, std::string pageAddress, DownloadBatch& batch,
                             RunFiles* run, std::size_t page)
    : type_(type),
      folder_(std::move(folder)),
      page_(std::move(pageAddress)),
      batch_(batch),
      run_(run),
      pageIndex_(page),
      from_(batch.Added()) {}

void ListDownloads::Feed(const std::vector<std::string>& list, const std::vector<ImageNote>& notes) {
    const std::size_t first = records_.size();  // only this thread grows the records
    if (first >= list.size()) return;
    // Shown pictures are named against every name of the list; the others each on its own.
    const bool anyShown = std::any_of(notes.begin(), notes.end(),
                                      [](const ImageNote& n) { return n.place == ImagePlace::Shown; });
    const std::vector<PlannedDownload> plans =
        anyShown ? PlanDownloads(type_, folder_, list, notes) : std::vector<PlannedDownload>{};
    std::vector<DownloadRecord> records;
    std::vector<std::string> targets, stems, usuals;
    for (std::size_t i = first; i < list.size(); ++i) {
        DownloadRecord r;
        r.address = list[i];
        PlannedDownload plan = anyShown ? plans[i] : PlanDownload(type_, folder_, list[i]);
        // With a template, the file is named at once when its fields are known now, else
        // once the download is there (into a provisional file until then).
        std::string usual;
        if (!plan.file.empty() && run_ != nullptr && run_->names != nullptr) {
            const std::string natural = plan.stemFile.empty() ? plan.file : plan.stemFile;
            if (run_->names->NeedsFile() || (!plan.stemFile.empty() && run_->names->Uses(NameField::Ext))) {
                usual = natural;
                plan.file = folder_ + std::string(kPartialDownloadPrefix) + "named." + std::to_string(pageIndex_) +
                            "." + std::to_string(i);
            } else if (const std::string named = run_->names->Apply(FieldsOf(i, list[i], natural)); !named.empty()) {
                plan = {folder_ + named, {}};
            }
        }
        if (plan.file.empty()) {
            r.outcome = DownloadRecord::Outcome::Skipped;
            r.reason = plan.skipReason;
        } else if (!usual.empty()) {
            if (run_->archive != nullptr) {
                if (const auto entry = run_->archive->FindAddress(r.address)) {
                    r.outcome = DownloadRecord::Outcome::Skipped;
                    r.reason = std::string(kInArchive);
                    r.file = run_->base + entry->first;
                    r.size = entry->second.size;
                    plan = {};
                    usual.clear();
                }
            }
        } else if (run_ != nullptr) {
            // Another page's name is numbered; a picture whose answer names its type takes
            // the stem its name will have.
            if (plan.stemFile.empty()) {
                plan.file = run_->claims.Claim(plan.file, pageIndex_, r.address);
            } else {
                plan.stemFile = run_->claims.Claim(plan.stemFile, pageIndex_, r.address);
                plan.file = ProvisionalPictureFile(plan.stemFile);
            }
            if (run_->protectedFiles.Protects(plan.stemFile.empty() ? plan.file : plan.stemFile)) {
                r.outcome = DownloadRecord::Outcome::Failed;
                r.file = plan.stemFile.empty() ? plan.file : plan.stemFile;
                r.reason = std::string(kProtectedFile);
                plan = {};
            }
            if (!plan.file.empty() && run_->archive != nullptr) {
                if (plan.stemFile.empty()) {
                    if (const auto entry = run_->archive->Find(r.address, run_->InFolder(plan.file))) {
                        r.file = plan.file;
                        r.size = entry->size;
                        plan.file.clear();
                    }
                } else if (const auto entry = run_->archive->FindAnswered(r.address, run_->InFolder(plan.stemFile))) {
                    r.file = run_->base + entry->first;
                    r.size = entry->second.size;
                    plan.file.clear();
                }
                if (plan.file.empty()) {
                    r.outcome = DownloadRecord::Outcome::Skipped;
                    r.reason = std::string(kInArchive);
                    plan.stemFile.clear();
                }
            }
        }
        if (!plan.file.empty() && run_ != nullptr && run_->duplicates != nullptr && run_->archive != nullptr) {
            // A duplicate that an earlier run found is not fetched to be found again.
            if (const auto kept = run_->archive->DuplicatedFile(r.address)) {
                r.outcome = DownloadRecord::Outcome::Skipped;
                r.reason = std::string(kInArchive);
                r.file = run_->zip != nullptr ? *kept : run_->base + *kept;
                r.duplicateOf = r.file;
                plan = {};
                usual.clear();
            }
        }
        if (!plan.file.empty()) r.file = !usual.empty() ? usual : plan.stemFile.empty() ? plan.file : plan.stemFile;
        records.push_back(std::move(r));
        targets.push_back(std::move(plan.file));
        stems.push_back(std::move(plan.stemFile));
        usuals.push_back(std::move(usual));
    }
    std::vector<std::size_t> adding;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (std::size_t k = 0; k < records.size(); ++k) {
            if (targets[k].empty()) ++skipped_;
            else adding.push_back(first + k);
            records_.push_back(std::move(records[k]));
            targets_.push_back(std::move(targets[k]));
            stems_.push_back(std::move(stems[k]));
            usual_.push_back(std::move(usuals[k]));
            measured_.emplace_back();
        }
        expected_ += adding.size();
    }
    if (!adding.empty() && !folderMade_) {
        // A folder of its own (a layout by host or page) is made once, beneath the save
        // folder; without it each download fails and says why.
        if (run_ != nullptr) MakeFolderBeneath(run_->base, folder_);
        folderMade_ = true;
    }
    for (std::size_t index : adding) {
        const std::size_t number =
            batch_.Add(list[index], targets_[index], page_,
                       [this, index](const DownloadBatch::Result& result) { Finished(index, result); },
                       run_ != nullptr ? pageIndex_ : DownloadBatch::kNoGroup);
        std::lock_guard<std::mutex> lock(mutex_);
        numbers_.push_back(number);
    }
}

void ListDownloads::HoldFile(const std::string& file) {
    const std::vector<std::size_t> again = batch_.HoldFile(file, from_);
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t number : again) {
        if (std::binary_search(numbers_.begin(), numbers_.end(), number)) ++expected_;
    }
}

void ListDownloads::Close(std::function<void()> done) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        if (ended_ < expected_ || measuring_ > 0) {
            done_ = std::move(done);
            return;
        }
        Resolve();
    }
    if (done) done();
}

void ListDownloads::Finished(std::size_t index, const DownloadBatch::Result& result) {
    bool saved = false;
    bool measure = false;
    std::uint64_t size = 0;
    std::string file;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        DownloadRecord& r = records_[index];
        const std::string& stem = stems_[index];
        r.size = 0;
        r.reason.clear();
        r.retries = result.retries;
        if (result.saved) {
            r.outcome = DownloadRecord::Outcome::Saved;
            r.size = result.size;
            r.file = targets_[index];
            if (!usual_[index].empty()) {
                try {
                    r.file = NameFinished(index, result);
                } catch (const std::exception& e) {
                    r.outcome = DownloadRecord::Outcome::Failed;
                    r.size = 0;
                    r.file = usual_[index];
                    r.reason = e.what();
                }
            } else if (!stem.empty()) {
                try {
                    r.file = FinishPictureDownload(targets_[index], stem, result.contentType);
                } catch (const std::exception& e) {
                    r.outcome = DownloadRecord::Outcome::Failed;
                    r.size = 0;
                    r.file = stem;
                    r.reason = e.what();
                }
            }
        } else {
            r.outcome = DownloadRecord::Outcome::Failed;
            r.reason = result.error;
            r.file = !usual_[index].empty() ? usual_[index] : stem.empty() ? targets_[index] : stem;
        }
        if (r.outcome == DownloadRecord::Outcome::Saved && run_ != nullptr && run_->duplicates != nullptr) {
            // Kept or not once the page's downloads have all ended and their files are read.
            measure = true;
            ++measuring_;
        } else if (r.outcome == DownloadRecord::Outcome::Saved && run_ != nullptr) {
            if (run_->zip != nullptr) Zip(r, index);
            Archive(index);
        }
        if (r.outcome == DownloadRecord::Outcome::Saved) {
            saved = true;
            size = r.size;
            file = r.file;
        }
    }
    if (saved && run_ != nullptr && run_->saved) run_->saved(size);
    if (measure) {
        // Read beside the batch's thread, which goes on with the downloads meanwhile.
        if (run_->reading != nullptr) {
            run_->reading->Post([this, index, file, size] { Measure(index, file, size); });
        } else {
            Measure(index, file, size);
        }
    }
    // Counted last, so that the page is done only once all of this is.
    std::function<void()> done;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++ended_;
        if (closed_ && ended_ >= expected_ && measuring_ == 0) {
            Resolve();
            done = std::exchange(done_, nullptr);
        }
    }
    if (done) done();
}

void ListDownloads::Archive(std::size_t index) {
    const DownloadRecord& r = records_[index];
    if (r.outcome != DownloadRecord::Outcome::Saved || run_->archive == nullptr) return;
    const std::string file = run_->InFolder(r.file);
    run_->archive->Record(r.address, file, r.size, static_cast<std::int64_t>(std::time(nullptr)));
    if (!r.sha256.empty()) run_->archive->RecordHash(r.address, r.sha256, file);
}

void ListDownloads::Measure(std::size_t index, const std::string& file, std::uint64_t size) {
    SavedFile f;
    f.file = file;
    f.bytes = size;
    f.sha256 = Sha256OfFile(file);
    if (run_->duplicates->Similar() && run_->look && !f.sha256.empty()) {
        std::optional<PictureLook> known = run_->LookOf(f.sha256);
        if (!known) {
            known = run_->look(file, true);
            run_->NoteLook(f.sha256, *known);
        }
        const PictureLook& look = *known;
        f.pixels = static_cast<std::uint64_t>(look.width) * static_cast<std::uint64_t>(look.height);
        f.dhash = look.dhash;
    }
    std::function<void()> done;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        DownloadRecord& r = records_[index];
        r.sha256 = f.sha256;
        r.dhash = f.dhash;
        measured_[index] = std::move(f);
        --measuring_;
        if (closed_ && ended_ >= expected_ && measuring_ == 0) {
            Resolve();
            done = std::exchange(done_, nullptr);
        }
    }
    measuredChanged_.notify_all();
    if (done) done();
}

void ListDownloads::Resolve() {
    if (resolved_ || run_ == nullptr || run_->duplicates == nullptr) return;
    resolved_ = true;
    std::vector<SavedFile> files;
    std::vector<std::size_t> which;
    for (std::size_t i = 0; i < records_.size(); ++i) {
        if (!measured_[i] || records_[i].outcome != DownloadRecord::Outcome::Saved) continue;
        files.push_back(*measured_[i]);
        which.push_back(i);
    }
    const std::vector<std::string> of = run_->duplicates->Decide(files);
    std::error_code ec;
    // Two entries of the list may have written one file (equal names of one page): it is
    // kept, zipped and removed once.
    std::map<std::string, std::string> kept;  // file: what the records name it
    for (std::size_t k = 0; k < which.size(); ++k) {
        DownloadRecord& r = records_[which[k]];
        if (!of[k].empty()) continue;
        if (const auto it = kept.find(r.file); it != kept.end()) {
            r.file = it->second;
        } else {
            const std::string file = r.file;
            if (run_->zip != nullptr) Zip(r, which[k]);
            kept.emplace(file, r.file);
        }
        Archive(which[k]);
    }
    for (std::size_t k = 0; k < which.size(); ++k) {
        if (of[k].empty()) continue;
        DownloadRecord& r = records_[which[k]];
        if (!kept.contains(r.file)) std::filesystem::remove(r.file, ec);
        const std::string entry = run_->zip != nullptr ? run_->zip->EntryOf(of[k]) : std::string();
        r.outcome = DownloadRecord::Outcome::Skipped;
        r.reason = std::string(kDuplicate);
        r.duplicateOf = entry.empty() ? of[k] : entry;
        r.file = r.duplicateOf;
        if (run_->archive != nullptr && !r.sha256.empty())
            run_->archive->RecordHash(r.address, r.sha256, run_->InFolder(r.duplicateOf));
    }
}

void ListDownloads::Zip(DownloadRecord& r, std::size_t index) {
    const std::string entry = run_->zip->Add(r.file, run_->InFolder(r.file), r.address, {pageIndex_, index});
    if (!entry.empty()) {
        r.file = entry;
        return;
    }
    r.outcome = DownloadRecord::Outcome::Failed;
    r.reason = "cannot be put into the ZIP file";
    r.size = 0;
}

NameFields ListDownloads::FieldsOf(std::size_t index, const std::string& address, const std::string& usual) const {
    NameFields fields;
    fields.host = NameHostOf(address);
    fields.page = PageFolder(FolderLayout::Page, {}, page_);
    if (!fields.page.empty() && fields.page.back() == '/') fields.page.pop_back();
    fields.index = index + 1;
    std::tie(fields.name, fields.ext) = SplitExtension(FileNamePart(usual));
    fields.type = PictureTypeOf(address, {});
    return fields;
}

std::string ListDownloads::NameFinished(std::size_t index, const DownloadBatch::Result& result) {
    const std::string& provisional = targets_[index];
    const std::string& address = records_[index].address;
    const std::string usual = stems_[index].empty()
                                     ? usual_[index]
                                     : AnsweredPictureFile(provisional, stems_[index], result.contentType);
    const NameTemplate& names = *run_->names;
    NameFields fields = FieldsOf(index, address, usual);
    if (names.Uses(NameField::Type)) fields.type = AnsweredPictureType(provisional, result.contentType, address);
    if ((names.Uses(NameField::Width) || names.Uses(NameField::Height)) && run_->look) {
        const PictureLook look = run_->look(provisional, false);
        fields.width = look.width;
        fields.height = look.height;
    }
    if (names.Uses(NameField::Sha256)) fields.sha256 = Sha256OfFile(provisional);
    const std::string named = names.Apply(fields);
    const std::string target = run_->claims.Claim(named.empty() ? usual : folder_ + named, pageIndex_, address);
    std::error_code ec;
    if (run_->protectedFiles.Protects(target)) {
        std::filesystem::remove(provisional, ec);
        throw DownloadError(std::string(kProtectedFile), DownloadFailure::Write);
    }
    if (!MoveBeneath(run_->base, provisional, target)) {
        std::filesystem::remove(provisional, ec);
        throw DownloadError("cannot write " + target, DownloadFailure::Write);
    }
    return target;
}

void ListDownloads::Settle() {
    std::unique_lock<std::mutex> lock(mutex_);
    measuredChanged_.wait(lock, [this] { return measuring_ == 0; });
    Resolve();
}

std::size_t ListDownloads::Skipped() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return skipped_;
}

std::size_t ListDownloads::Ended() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::min(ended_, records_.size() - skipped_);
}

std::vector<DownloadRecord> ListDownloads::Records() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
}

namespace {

bool StandsAsPlaced(const RunFiles& run, const std::string& file, const std::string& address) {
    const auto it = run.placedSheets.find(file);
    struct stat st {};
    return it != run.placedSheets.end() && it->second.address == address && ::lstat(file.c_str(), &st) == 0 &&
           S_ISREG(st.st_mode) && st.st_dev == it->second.device && st.st_ino == it->second.inode &&
           static_cast<std::uint64_t>(st.st_size) == it->second.size;
}

void NotePlaced(RunFiles& run, const std::string& file, const std::string& address) {
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        run.placedSheets.erase(file);
        return;
    }
    run.placedSheets[file] = {address, static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                              static_cast<std::uint64_t>(st.st_size)};
}

}  // namespace

std::vector<DownloadRecord> PlaceFetchedSheets(const std::vector<SavedSheet>& sheets, const std::string& staging,
                                               const std::string& folder,
                                               const std::map<std::string, std::string>& taken, RunFiles& run,
                                               std::size_t page) {
    namespace fs = std::filesystem;
    std::vector<DownloadRecord> records;
    for (const SavedSheet& sheet : sheets) {
        if (!sheet.outcome.attempted) continue;
        DownloadRecord r;
        r.address = sheet.address;
        const std::string name = sheet.outcome.file.substr(std::min(staging.size(), sheet.outcome.file.size()));
        r.file = folder + name;
        if (!sheet.outcome.saved) {
            r.outcome = DownloadRecord::Outcome::Failed;
            r.reason = sheet.outcome.error;
            records.push_back(std::move(r));
            continue;
        }
        const auto it = taken.find(name);
        r.file = it != taken.end() ? it->second : run.claims.Claim(r.file, page, r.address);
        if (run.protectedFiles.Protects(r.file)) {
            r.outcome = DownloadRecord::Outcome::Failed;
            r.reason = std::string(kProtectedFile);
            records.push_back(std::move(r));
            continue;
        }
        std::error_code ec;
        std::string why;
        if (sheet.kept) {
            // Written from memory unless the file this sheet last left stands unchanged.
            if (!StandsAsPlaced(run, r.file, sheet.address)) why = SaveBeneath(run.base, r.file, sheet.kept->Text());
        } else if (fs::exists(fs::path(staging + name), ec) && !MoveBeneath(run.base, staging + name, r.file)) {
            ec = std::error_code(errno, std::generic_category());
        }
        if (!why.empty()) ec = std::make_error_code(std::errc::io_error);
        const auto size = ec ? 0 : fs::file_size(fs::path(r.file), ec);
        r.outcome = ec ? DownloadRecord::Outcome::Failed : DownloadRecord::Outcome::Saved;
        r.size = ec ? 0 : static_cast<std::uint64_t>(size);
        if (ec) r.reason = "cannot be put into the save folder: " + (why.empty() ? ec.message() : why);
        if (!ec) NotePlaced(run, r.file, sheet.address);
        if (!ec && run.zip != nullptr) {
            // After the list's entries in an ordered ZIP.
            const std::string entry = run.zip->Add(r.file, run.InFolder(r.file), r.address,
                                                   {page, static_cast<std::size_t>(-1) - sheets.size() + records.size()});
            if (entry.empty()) {
                r.outcome = DownloadRecord::Outcome::Failed;
                r.reason = "cannot be put into the ZIP file";
                r.size = 0;
            } else {
                r.file = entry;
            }
        }
        records.push_back(std::move(r));
    }
    return records;
}

}  // namespace nuv
