#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The names nuv-extract --name gives the files it saves: a template of fields such as
// "{host}/{index:03}.{ext}" filled in for each file.
namespace nuv {

// What a template may name.
enum class NameField { Host, Page, Index, Name, Ext, Type, Width, Height, Sha256 };

// The values of the fields for one file.
struct NameFields {
    std::string host;   // the file's address's host, without port and credentials
    std::string page;   // the page's folder as --layout page makes it, without the trailing "/"
    std::size_t index = 0;  // the position in the page's list, from 1
    std::string name;   // the saved name without its extension
    std::string ext;    // its extension without the dot; "" when it has none
    std::string type;   // the picture type of the answer (PictureTypeNames, or "other")
    int width = 0;      // the picture's size; 0 when it is not known
    int height = 0;
    std::string sha256;  // the file's SHA-256 in lower-case hex
};

// A parsed template: text, "{field}" and "{field:format}" ("{{" and "}}" stand for the
// braces). The format of index, width and height is a width ("3" pads with spaces, "03"
// with zeros); that of sha256 the number of hex digits kept (1 to 64).
class NameTemplate {
public:
    // The template, or nothing with `error` set: an unknown field or format, an unclosed
    // brace, a path that begins with "/" or ends without a file name, a "." or ".." folder.
    static std::optional<NameTemplate> Parse(std::string_view text, std::string& error);

    bool Uses(NameField field) const;
    // True when a field needs the downloaded file (type, width, height, sha256).
    bool NeedsFile() const;

    // The path that `fields` give, relative to the page's folder: "/" of the template
    // makes folders; every value is one cleaned name (CleanNameComponent: a "/" or
    // control character of a page's or server's text becomes "_"), except {page}, whose
    // folders are each cleaned so; each folder and the file name are cleaned again and
    // cut to 255 bytes, folders that come out empty are left out. "" when no file name is
    // left.
    std::string Apply(const NameFields& fields) const;

private:
    struct Part {
        std::string text;                  // a literal, "/" included
        std::optional<NameField> field;    // or a field
        int width = 0;
        bool zeros = false;
        int digits = 64;
    };
    std::vector<Part> parts_;
};

// The host of `address` as {host} gives it: lower-cased, without credentials and port
// (an IPv6 address without its brackets); "file" for a local file, "" for none.
std::string NameHostOf(std::string_view address);

// `fileName` split at its last "." (not its first character; at most 16 bytes after it)
// into name and extension without the dot.
std::pair<std::string, std::string> SplitExtension(std::string_view fileName);

}  // namespace nuv
