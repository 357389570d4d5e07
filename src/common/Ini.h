#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The INI text format of the settings file: "[section]" header lines, then "key=value"
// lines. Reading and writing files is the caller's business; this only parses and
// produces text.
namespace nuv {

// An INI text held line by line, so that writing it back keeps every line it does not
// change: other sections and keys, comments, blank lines and unknown lines.
//
// Conventions: lines end in LF, CR LF or CR; a UTF-8 byte order mark at the start is
// kept; a line whose first non-blank byte is ';' or '#' is a comment; names and values
// are trimmed of bytes <= 32; a value enclosed in a pair of double quotes or a pair of
// single quotes loses the pair. There are no comments after a value (';' and '#' are
// ordinary bytes in folder names). Section names and keys are matched without regard
// to ASCII case; where one occurs twice, the first counts. Keys before the first header
// belong to the section "".
class IniDocument {
public:
    IniDocument() = default;
    explicit IniDocument(std::string_view text);

    // The value of `key` in `section`, nullopt when either is missing.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;

    // The value as a whole decimal integer (blanks around it allowed, optional sign);
    // `fallback` when missing, not a number or out of the range of int.
    int GetInt(std::string_view section, std::string_view key, int fallback) const;

    // True for any integer other than 0; `fallback` when missing or not a number.
    bool GetBool(std::string_view section, std::string_view key, bool fallback) const;

    // Sets `key` in `section`: the first line of that key is rewritten in place; a new
    // key goes after the last entry of the section; a new section goes at the end.
    // Values are written so that reading them back gives them exactly: a value with
    // blanks at either end, or enclosed in quotes, is written inside double quotes.
    // Line breaks cannot be stored on one line; each CR or LF of a value is written as
    // a space, so a value can never add lines to the file.
    void Set(std::string_view section, std::string_view key, std::string_view value);
    void SetInt(std::string_view section, std::string_view key, int value);
    void SetBool(std::string_view section, std::string_view key, bool value);

    // The names of the sections in file order, as written in the headers.
    std::vector<std::string> Sections() const;

    // The text to write back: every line with its own line break; a new line, and a
    // last line that had none, ends with the first line break of the parsed text (LF
    // for a new document).
    std::string ToString() const;

private:
    struct Line {
        std::string text;  // the line as written, without its line break
        std::string eol;   // its line break as read, "" for a new line
        size_t block = 0;  // index into blocks_: the header above it (0: none)
        bool header = false;
        std::string key;   // trimmed key of a "key=value" line, "" otherwise
    };

    // The first block named `section`, or npos.
    size_t FindBlock(std::string_view section) const;
    // Index of the first entry line of `key` in the first block named `section`, or -1.
    long Find(std::string_view section, std::string_view key) const;

    std::vector<Line> lines_;
    std::vector<std::string> blocks_{std::string()};  // section names; [0] is the part before any header
    std::string bom_;
    std::string eol_ = "\n";
};

}  // namespace nuv
