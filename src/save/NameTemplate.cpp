#include "save/NameTemplate.h"

#include <array>
#include <charconv>
#include <utility>

#include "common/SaveTargets.h"
#include "common/Text.h"

namespace nuv {
namespace {

struct FieldName {
    NameField field;
    std::string_view name;
};
constexpr std::array<FieldName, 9> kFields = {{{NameField::Host, "host"},
                                               {NameField::Page, "page"},
                                               {NameField::Index, "index"},
                                               {NameField::Name, "name"},
                                               {NameField::Ext, "ext"},
                                               {NameField::Type, "type"},
                                               {NameField::Width, "width"},
                                               {NameField::Height, "height"},
                                               {NameField::Sha256, "sha256"}}};
constexpr std::string_view kFieldList = "host, page, index, name, ext, type, width, height, sha256";
constexpr int kMostWidth = 32;

std::optional<int> Digits(std::string_view text, int low, int high) {
    int value = 0;
    if (text.empty() || text.size() > 2) return std::nullopt;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) return std::nullopt;
    return value;
}

std::string Padded(std::string digits, int width, bool zeros) {
    if (static_cast<int>(digits.size()) < width)
        digits.insert(0, static_cast<std::size_t>(width) - digits.size(), zeros ? '0' : ' ');
    return digits;
}

}  // namespace

std::optional<NameTemplate> NameTemplate::Parse(std::string_view text, std::string& error) {
    NameTemplate t;
    std::string literal;
    const auto flush = [&] {
        if (!literal.empty()) t.parts_.push_back({std::exchange(literal, {}), std::nullopt});
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if ((c == '{' || c == '}') && i + 1 < text.size() && text[i + 1] == c) {
            literal += c;
            ++i;
            continue;
        }
        if (c == '}') {
            error = "a \"}\" without its \"{\" (write \"}}\" for the brace itself)";
            return std::nullopt;
        }
        if (c != '{') {
            literal += c;
            continue;
        }
        const std::size_t close = text.find('}', i);
        if (close == std::string_view::npos) {
            error = "a \"{\" without its \"}\" (write \"{{\" for the brace itself)";
            return std::nullopt;
        }
        const std::string_view inside = text.substr(i + 1, close - i - 1);
        const std::size_t colon = inside.find(':');
        const std::string_view name = inside.substr(0, colon);
        Part part;
        for (const FieldName& f : kFields) {
            if (f.name == name) part.field = f.field;
        }
        if (!part.field) {
            error = FormatS("unknown field {%s} (the fields: %s)", {inside, kFieldList});
            return std::nullopt;
        }
        if (colon != std::string_view::npos) {
            const std::string_view format = inside.substr(colon + 1);
            const NameField f = *part.field;
            if (f == NameField::Index || f == NameField::Width || f == NameField::Height) {
                const auto width = Digits(format, 1, kMostWidth);
                if (!width) {
                    error = FormatS("{%s}: the width is a number from 1 to 32 (\"03\" pads with zeros)", {inside});
                    return std::nullopt;
                }
                part.width = *width;
                part.zeros = format.front() == '0';
            } else if (f == NameField::Sha256) {
                const auto digits = Digits(format, 1, 64);
                if (!digits) {
                    error = FormatS("{%s}: the number of hex digits is from 1 to 64", {inside});
                    return std::nullopt;
                }
                part.digits = *digits;
            } else {
                error = FormatS("{%s}: only index, width, height and sha256 take a \":\"", {inside});
                return std::nullopt;
            }
        }
        flush();
        t.parts_.push_back(std::move(part));
        i = close;
    }
    flush();
    if (t.parts_.empty()) {
        error = "the template is empty";
        return std::nullopt;
    }
    if (!text.empty() && text.front() == '/') {
        error = "the name is a path inside the save folder: it cannot begin with \"/\"";
        return std::nullopt;
    }
    if (text.back() == '/') {
        error = "the template ends in \"/\": it needs a file name";
        return std::nullopt;
    }
    // Literal "." and ".." folders would climb out of the page's folder or name nothing.
    std::string shape;
    for (const Part& p : t.parts_) shape += p.field ? std::string("{}") : p.text;
    for (std::size_t at = 0; at <= shape.size();) {
        std::size_t slash = shape.find('/', at);
        if (slash == std::string::npos) slash = shape.size();
        const std::string_view segment = std::string_view(shape).substr(at, slash - at);
        if (segment == "." || segment == "..") {
            error = "\".\" and \"..\" cannot be folders of the name";
            return std::nullopt;
        }
        at = slash + 1;
    }
    return t;
}

bool NameTemplate::Uses(NameField field) const {
    for (const Part& p : parts_) {
        if (p.field == field) return true;
    }
    return false;
}

bool NameTemplate::NeedsFile() const {
    return Uses(NameField::Type) || Uses(NameField::Width) || Uses(NameField::Height) || Uses(NameField::Sha256);
}

std::string NameTemplate::Apply(const NameFields& fields) const {
    std::vector<std::string> segments(1);
    for (const Part& p : parts_) {
        if (!p.field) {
            for (const char c : p.text) {
                if (c == '/') segments.emplace_back();
                else segments.back() += c;
            }
            continue;
        }
        std::string value;
        switch (*p.field) {
            case NameField::Host: value = fields.host; break;
            case NameField::Name: value = fields.name; break;
            case NameField::Ext: value = fields.ext; break;
            case NameField::Type: value = fields.type; break;
            case NameField::Index: value = Padded(std::to_string(fields.index), p.width, p.zeros); break;
            case NameField::Width: value = Padded(std::to_string(fields.width), p.width, p.zeros); break;
            case NameField::Height: value = Padded(std::to_string(fields.height), p.width, p.zeros); break;
            case NameField::Sha256: value = fields.sha256.substr(0, static_cast<std::size_t>(p.digits)); break;
            case NameField::Page: {
                // Its folders, each cleaned on its own.
                bool first = true;
                for (std::size_t at = 0; at <= fields.page.size();) {
                    std::size_t slash = fields.page.find('/', at);
                    if (slash == std::string::npos) slash = fields.page.size();
                    if (!first) segments.emplace_back();
                    segments.back() += CleanNameComponent(std::string_view(fields.page).substr(at, slash - at));
                    first = false;
                    at = slash + 1;
                }
                continue;
            }
        }
        segments.back() += CleanNameComponent(value);
    }
    std::string path;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const std::string clean = CleanNameComponent(segments[i]);
        if (clean.empty()) {
            if (i + 1 == segments.size()) return {};
            continue;
        }
        if (!path.empty()) path += '/';
        path += clean;
    }
    return path;
}

std::string NameHostOf(std::string_view address) {
    const std::size_t scheme = address.find("://");
    if (scheme == std::string_view::npos) return {};
    if (LowerAscii(address.substr(0, scheme)) == "file") return "file";
    const std::size_t start = scheme + 3;
    std::size_t end = address.find_first_of("/?#", start);
    if (end == std::string_view::npos) end = address.size();
    std::string_view authority = address.substr(start, end - start);
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        authority = authority.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
    } else {
        authority = authority.substr(0, authority.find(':'));
    }
    return LowerAscii(authority);
}

std::pair<std::string, std::string> SplitExtension(std::string_view fileName) {
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || fileName.size() - dot - 1 > 16) return {std::string(fileName), {}};
    return {std::string(fileName.substr(0, dot)), std::string(fileName.substr(dot + 1))};
}

}  // namespace nuv
