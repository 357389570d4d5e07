#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "extract/DocType.h"
#include "extract/ExtractionLists.h"
#include "save/PictureRules.h"

// Which listed addresses a download of every entry saves, and under which names; what
// each download ended in.
namespace nuv {

// What -d does with one listed address.
struct PlannedDownload {
    std::string file;        // the target file; "" when the address is skipped
    std::string skipReason;  // why it is skipped; "" when it is downloaded
    // A shown picture whose address names no picture type: `file` is a provisional name,
    // renamed after the download to this + the extension its answer tells.
    std::string stemFile = {};
};

// The file an address is downloaded to, with the rules of the result window's batch:
// `folder` (ending in "/") followed by the text after the address's last "/"; web
// pages are skipped, and so are archives and programs except for `DocType::Other`,
// where there is no browser to hand them to; an address without a usable file name
// is skipped.
PlannedDownload PlanDownload(DocType type, std::string_view folder, std::string_view address);

// PlanDownload for every listed address, where the pictures the page showed (`notes`
// marks them; may be empty) are named by PlanPictureTargets: never skipped as web pages or
// archives (the page used them as pictures), never two of them under one name.
std::vector<PlannedDownload> PlanDownloads(DocType type, std::string_view folder,
                                           const std::vector<std::string>& addresses,
                                           const std::vector<ImageNote>& notes);

// Keeps the pictures of `addresses` (with their `notes`) that pass `filter`, sized by their
// notes and typed by PictureTypeOf.
void FilterPictures(std::vector<std::string>& addresses, std::vector<ImageNote>& notes, const PictureFilter& filter);
// The outcome of one download of -d.
struct DownloadRecord {
    enum class Outcome { Saved, Failed, Skipped };
    std::string address;
    Outcome outcome = Outcome::Skipped;
    std::string file;      // Saved: the file written; Failed: the file aimed at
    std::uint64_t size = 0;  // Saved: its size in bytes
    std::string reason;    // Failed: the error; Skipped: why
    int retries = 0;       // how often it was tried again after a failure that may pass
    std::string duplicateOf = {};  // --dedup: the file kept with these bytes or this look
    std::string sha256 = {};  // --dedup: the SHA-256 of what was downloaded
    std::optional<std::uint64_t> dhash = {};  // --dedup similar: its difference hash
};

// Why a download whose file duplicates a kept one is not kept (a Skipped record that
// names the kept file).
inline constexpr std::string_view kDuplicate = "duplicate";

// Why an address in the archive is not downloaded again (a Skipped record that keeps the
// archived file and size).
inline constexpr std::string_view kInArchive = "in the archive";
// Why a download that would replace one of the program's own files is refused (a Failed record).
inline constexpr std::string_view kProtectedFile = "refused: the file is one of the program's own";

}  // namespace nuv
