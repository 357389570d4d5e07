#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <string>
#include <utility>
#include <vector>

#include "common/SaveTargets.h"
#include "extract/DocType.h"
#include "extract/ExtractionLists.h"
#include "extract/ExtractionResult.h"
#include "save/DownloadArchive.h"
#include "save/DownloadBatch.h"
#include "save/DownloadPlan.h"
#include "save/Duplicates.h"
#include "save/FolderLayout.h"
#include "save/NameTemplate.h"
#include "save/TaskPool.h"
#include "save/ZipWriter.h"

// The downloads of every entry of a page's list, in a run of one page or of many.
namespace nuv {

// What a saved picture looks like, as the picture decoder of the program reads it.
struct PictureLook {
    int width = 0;  // 0 x 0 when the file is no picture the decoder reads
    int height = 0;
    std::optional<std::uint64_t> dhash;  // when asked for and the picture was decoded
};

// What the pages of one run share for their downloads: the save folder, the names the
// pages took in it, and the archive of earlier runs.
class RunFiles {
public:
    explicit RunFiles(std::string saveFolder, DownloadArchive* downloadArchive = nullptr);
    RunFiles(const RunFiles&) = delete;
    RunFiles& operator=(const RunFiles&) = delete;

    // A file as the archive names it: relative to the save folder, so that the archive
    // serves the folder wherever it is (on another host of a shard, moved, copied).
    std::string InFolder(const std::string& file) const;

    const std::string base;  // the save folder, ending in "/"
    DownloadArchive* const archive;
    ProtectedFiles protectedFiles;  // never replaced by a download
    FileClaims claims;  // on the thread that feeds the lists
    // Told of every file saved, with its size, on the batch's thread.
    std::function<void(std::uint64_t size)> saved;
    // The names of the files beneath their page's folder (--name); null for the rule of
    // the result window.
    const NameTemplate* names = nullptr;
    // --zip: every saved file goes into it, named as it is beneath the save folder.
    ZipWriter* zip = nullptr;
    // --dedup: which saved files are kept; null keeps every one.
    DuplicateFinder* duplicates = nullptr;
    // Where the saved files are read for --dedup beside the batch's thread; null: on it.
    TaskPool* reading = nullptr;
    // Reads a saved file as a picture (with `hash` its difference hash too), on the
    // batch's thread; unset: sizes are unknown.
    std::function<PictureLook(const std::string& file, bool hash)> look;
    // The look of each file's bytes read so far, by their SHA-256: a byte copy is not decoded again.
    std::optional<PictureLook> LookOf(const std::string& sha256);
    void NoteLook(const std::string& sha256, const PictureLook& look);

    // The style sheets placed in the save folder (PlaceFetchedSheets), by file: a sheet
    // kept in memory is not written again over the file it left, while that file stands.
    // On the thread that feeds the lists.
    struct PlacedSheet {
        std::string address;
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::uint64_t size = 0;
    };
    std::unordered_map<std::string, PlacedSheet> placedSheets;

private:
    std::mutex looksMutex_;
    std::unordered_map<std::string, PictureLook> looks_;
};

// Plans every address of a list as PlanDownload does and hands those it downloads to a
// DownloadBatch, which may serve several pages. The list is handed over as it grows: an
// extraction that is still reading style sheets and frames only appends to it. In a run
// of many pages (`run` given) a name another page took is numbered, what the archive
// holds is not downloaded again, and each saved file is added to the archive at once.
class ListDownloads {
public:
    ListDownloads(DocType type, std::string folder, std::string pageAddress, DownloadBatch& batch,
                  RunFiles* run = nullptr, std::size_t page = 0);
    ListDownloads(const ListDownloads&) = delete;
    ListDownloads& operator=(const ListDownloads&) = delete;

    // Hands over the addresses of `list` beyond those handed so far (`list` begins with
    // those). `notes` (may be empty) marks the pictures the page showed: they are named as
    // PlanDownloads names them. On one thread.
    void Feed(const std::vector<std::string>& list, const std::vector<ImageNote>& notes = {});
    // `file` is written and read by the page's extraction itself (a style sheet): see
    // DownloadBatch::HoldFile.
    void HoldFile(const std::string& file);
    // No address comes any more: `done` runs once, when every download handed over has
    // ended (on the batch's thread), or at once when none is left.
    void Close(std::function<void()> done);

    // --dedup: settles the files saved so far as if every download had ended (a run that
    // stops): duplicates go, the rest is zipped and archived. Once the batch's thread has
    // ended; later ends are not settled.
    void Settle();

    // How many of the addresses handed over are not downloaded.
    std::size_t Skipped() const;
    // How many of the downloads have ended.
    std::size_t Ended() const;
    // The records, in list order. A shown picture whose answer decides its type has its
    // final name once it ended.
    std::vector<DownloadRecord> Records() const;

private:
    // Puts the saved file of `r` into the run's ZIP, which `r` then names; Failed when it cannot.
    void Zip(DownloadRecord& r, std::size_t index);
    // --dedup: reads what entry `index`'s saved `file` of `size` bytes holds, for Resolve;
    // the page is done once the last is read. Any thread, without `mutex_`.
    void Measure(std::size_t index, const std::string& file, std::uint64_t size);
    // --dedup, once every download of the page ended: removes the duplicates among its
    // saved files and archives and zips the rest. Under `mutex_`.
    void Resolve();
    // Archives the saved file of record `index`.
    void Archive(std::size_t index);
    // Notes the end of the download of list entry `index`.
    void Finished(std::size_t index, const DownloadBatch::Result& result);
    // The fields of the name of list entry `index`, whose name the usual rule gives as `usual`.
    NameFields FieldsOf(std::size_t index, const std::string& address, const std::string& usual) const;
    // Moves the finished download of entry `index`, named by the template once its file is
    // there, to its name; returns that file. Throws DownloadError when it cannot.
    std::string NameFinished(std::size_t index, const DownloadBatch::Result& result);

    DocType type_;
    std::string folder_;
    std::string page_;
    DownloadBatch& batch_;
    RunFiles* run_;
    std::size_t pageIndex_;
    std::size_t from_;  // the batch's number of this list's first download
    bool folderMade_ = false;

    mutable std::mutex mutex_;  // guards what the batch's thread touches
    std::vector<DownloadRecord> records_;
    std::vector<std::string> targets_;  // each record's file in the batch ("" when skipped)
    std::vector<std::string> stems_;    // each record's PlannedDownload::stemFile
    std::vector<std::string> usual_; // entries named after their download: the file of the usual rule
    std::vector<std::optional<SavedFile>> measured_;  // --dedup: the saved files not yet resolved
    std::size_t measuring_ = 0;  // saved files still being read
    std::condition_variable measuredChanged_;
    bool resolved_ = false;
    std::vector<std::size_t> numbers_;  // the batch's numbers of the downloads, ascending
    std::size_t skipped_ = 0;
    std::size_t expected_ = 0;  // ends to come: the downloads, and their runs again
    std::size_t ended_ = 0;
    bool closed_ = false;
    std::function<void()> done_;
};

// Moves the style sheets that an extraction fetched into `staging` (a folder beneath
// run.base, ending in "/") to their files in `folder`: the file their name took before the
// fetch (`taken`, by name), else the one run.claims gives page `page` (numbered where
// another page has the name). Returns their records, in fetch order: a sheet that would
// replace one of the program's own files is refused, one not fetched failed with its error.
std::vector<DownloadRecord> PlaceFetchedSheets(const std::vector<SavedSheet>& sheets, const std::string& staging,
                                               const std::string& folder,
                                               const std::map<std::string, std::string>& taken, RunFiles& run,
                                               std::size_t page);

}  // namespace nuv
