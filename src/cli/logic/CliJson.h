#pragma once

#include <string>
#include <string_view>

#include "cli/logic/CliOutput.h"

// The JSON that nuv-extract prints: one writer for --json (one document) and --jsonl (one
// object a line), so that a listed entry and a download have one schema in both.
namespace nuv {

// A JSON string literal for `text`, quotes included: bytes that are not valid UTF-8
// become U+FFFD, control characters (C0, DEL, C1) and U+2028 and U+2029 are escaped, so
// the text is one line for every reader of JSON Lines and safe in a JavaScript literal.
std::string JsonString(std::string_view text);

// The --json output: one object with "address", "type", then "text" or "list", with
// --shown "pictures" (one object per entry of the list: "address", "found" ("page",
// "sheet", "frame" or "shown"), "type", and "width" and "height" when known), and with -d
// "downloads" (one record per address, see FormatJsonLine); "cut" ("documents",
// "shown_pictures", "links") before them when the bounds left something out; "errors"
// last when the extraction got over failures (as FormatJsonLine has them). Ends in a
// newline.
std::string FormatJsonOutput(const CliReport& report);

// One line of --jsonl for a page: "address" (as asked for), "final", "type", "status"
// ("done" or "not loaded"; then "robots": "disallowed" when robots.txt kept it), "text" or "list" (each entry an object: "address", "found",
// with --shown its picture "type", "width", "height"), "cut" as --json has it, with -d
// "downloads", "errors" (each "step", "address", "why": "load" for a page not loaded or
// extracted before its load ended, else the steps of ExtractionError), "times". A download record is "address" and "outcome": "saved" with "file" and "size",
// "failed" with "error" (and "file" when one was aimed at), or "skipped" with "reason"
// (and "file" and "size" of what the archive holds).
std::string FormatJsonLine(const CliReport& report);

// Where an entry was found, as the JSON outputs name it: "page", "sheet", "frame", "shown".
std::string_view ImagePlaceName(ImagePlace place);

}  // namespace nuv
