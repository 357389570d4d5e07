#include "cli/logic/CliJson.h"

#include <vector>

#include <nlohmann/json.hpp>

#include "save/Duplicates.h"
#include "save/PictureRules.h"

namespace nuv {
namespace {

using Json = nlohmann::ordered_json;

// The compact text of `value`: invalid UTF-8 replaced by the library; then the characters
// it leaves raw that end a line for some readers or steer a terminal (DEL, the C1
// controls, U+2028, U+2029), which only strings can hold, escaped.
std::string Dump(const Json& value) {
    const std::string text = value.dump(-1, ' ', false, Json::error_handler_t::replace);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (c == 0x7F) {
            out += "\\u007f";
        } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
            out += "\\u00";
            out += kHex[next >> 4];
            out += kHex[next & 15];
            ++i;
        } else if (c == 0xE2 && next == 0x80 && i + 2 < text.size() &&
                   (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
            out += text[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

Json EntryJson(const std::string& address, const ImageNote& note, bool picture) {
    Json entry = {{"address", address}, {"found", std::string(ImagePlaceName(note.place))}};
    if (picture) {
        entry["type"] = PictureTypeOf(address, note.declaredType);
        if (note.width > 0 || note.height > 0) {
            entry["width"] = note.width;
            entry["height"] = note.height;
        }
    }
    return entry;
}

Json DownloadJson(const DownloadRecord& r) {
    Json record = {{"address", r.address}};
    switch (r.outcome) {
        case DownloadRecord::Outcome::Saved:
            record["outcome"] = "saved";
            record["file"] = r.file;
            record["size"] = r.size;
            break;
        case DownloadRecord::Outcome::Failed:
            record["outcome"] = "failed";
            if (!r.file.empty()) record["file"] = r.file;
            record["error"] = r.reason;
            break;
        case DownloadRecord::Outcome::Skipped:
            record["outcome"] = "skipped";
            record["reason"] = r.reason;
            if (!r.file.empty()) {
                record["file"] = r.file;
                record["size"] = r.size;
            }
            break;
    }
    if (!r.duplicateOf.empty()) record["duplicate_of"] = r.duplicateOf;
    if (!r.sha256.empty()) record["sha256"] = r.sha256;
    if (r.dhash) record["dhash"] = HashHex(*r.dhash);
    if (r.retries > 0) record["retries"] = r.retries;
    return record;
}

Json DownloadsJson(const std::vector<DownloadRecord>& records) {
    Json all = Json::array();
    for (const DownloadRecord& r : records) all.push_back(DownloadJson(r));
    return all;
}

Json ErrorsJson(const std::vector<ExtractionError>& errors) {
    Json all = Json::array();
    for (const ExtractionError& e : errors) all.push_back({{"step", e.step}, {"address", e.address}, {"why", e.why}});
    return all;
}

// What the bounds cut, when they cut anything.
void AddCut(Json& out, const ExtractionCut& cut) {
    if (!cut.Any()) return;
    out["cut"] = {{"documents", cut.documents}, {"shown_pictures", cut.shownPictures}, {"links", cut.links}};
}

const ImageNote& NoteOf(const CliReport& report, size_t i) {
    static const ImageNote none;
    return i < report.notes.size() ? report.notes[i] : none;
}

}  // namespace

std::string JsonString(std::string_view text) { return Dump(Json(std::string(text))); }

std::string_view ImagePlaceName(ImagePlace place) {
    switch (place) {
        case ImagePlace::Page: return "page";
        case ImagePlace::Sheet: return "sheet";
        case ImagePlace::Frame: return "frame";
        case ImagePlace::Shown: return "shown";
    }
    return "page";
}

std::string FormatJsonOutput(const CliReport& report) {
    Json out = {{"address", report.pageAddress}, {"type", std::string(CliTypeName(report.type))}};
    if (report.loadRetries > 0) out["retries"] = report.loadRetries;
    if (IsTextType(report.type)) {
        out["text"] = report.text;
    } else {
        out["list"] = report.list;
        if (report.describePictures) {
            Json pictures = Json::array();
            for (size_t i = 0; i < report.list.size(); ++i)
                pictures.push_back(EntryJson(report.list[i], NoteOf(report, i), true));
            out["pictures"] = std::move(pictures);
        }
    }
    AddCut(out, report.cut);
    if (report.downloaded) out["downloads"] = DownloadsJson(report.records);
    if (!report.errors.empty()) out["errors"] = ErrorsJson(report.errors);
    return Dump(out) + "\n";
}

std::string FormatJsonLine(const CliReport& report) {
    const bool loaded = report.loadError.empty();
    Json out = {{"address", report.requested},
                {"final", report.pageAddress},
                {"type", std::string(CliTypeName(report.type))},
                {"status", loaded ? "done" : "not loaded"}};
    if (report.robotsDisallowed) out["robots"] = "disallowed";
    if (report.loadRetries > 0) out["retries"] = report.loadRetries;
    if (!report.engine.empty()) out["engine"] = report.engine;
    if (report.scrolled) {
        out["scroll"] = {{"screens", report.scrolled->screens}, {"ms", report.scrolled->ms},
                         {"limit", report.scrolled->limit}};
    }
    if (report.ahead) {
        out["ahead"] = {{"fetched", report.ahead->fetched}, {"used", report.ahead->used},
                        {"removed", report.ahead->removed}};
    }
    if (IsTextType(report.type)) {
        out["text"] = report.text;
    } else {
        Json list = Json::array();
        for (size_t i = 0; i < report.list.size(); ++i)
            list.push_back(EntryJson(report.list[i], NoteOf(report, i), report.describePictures));
        out["list"] = std::move(list);
    }
    AddCut(out, report.cut);
    if (report.downloaded) out["downloads"] = DownloadsJson(report.records);
    std::vector<ExtractionError> errors;
    if (!loaded) errors.push_back({"load", report.requested, report.loadError});
    errors.insert(errors.end(), report.errors.begin(), report.errors.end());
    out["errors"] = ErrorsJson(errors);
    const PageTimes& t = report.times;
    out["times"] = {{"load_ms", t.load}, {"extract_ms", t.extract}, {"downloads_ms", t.downloads}, {"total_ms", t.total}};
    return Dump(out) + "\n";
}

}  // namespace nuv
