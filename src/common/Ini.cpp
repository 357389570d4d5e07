#include "common/Ini.h"

#include <charconv>

#include "common/Text.h"

namespace nuv {
namespace {

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAsciiChar(a[i]) != LowerAsciiChar(b[i])) return false;
    return true;
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

bool EnclosedInQuotes(std::string_view v) { return v.size() >= 2 && IsQuote(v.front()) && v.front() == v.back(); }

// The section name of a header line "[name]", or nullopt for any other line.
std::optional<std::string_view> HeaderName(std::string_view line) {
    const std::string_view t = TrimView(line);
    if (t.empty() || t.front() != '[') return std::nullopt;
    const size_t close = t.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return TrimView(t.substr(1, close - 1));
}

bool IsComment(std::string_view line) {
    const std::string_view t = TrimView(line);
    return !t.empty() && (t.front() == ';' || t.front() == '#');
}

}  // namespace

IniDocument::IniDocument(std::string_view text) {
    if (StartsWith(text, "\xEF\xBB\xBF")) {
        bom_ = "\xEF\xBB\xBF";
        text.remove_prefix(3);
    }
    bool eolSeen = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = start;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
        Line line;
        line.text = std::string(text.substr(start, end - start));
        size_t next = end;
        if (end < text.size()) {
            const size_t breakLength = (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1;
            line.eol = std::string(text.substr(end, breakLength));
            if (!eolSeen) {
                eol_ = line.eol;
                eolSeen = true;
            }
            next = end + breakLength;
        }
        if (const auto name = HeaderName(line.text)) {
            blocks_.emplace_back(*name);
            line.header = true;
        } else if (!IsComment(line.text)) {
            const size_t eq = line.text.find('=');
            if (eq != std::string::npos) line.key = Trim(std::string_view(line.text).substr(0, eq));
        }
        line.block = blocks_.size() - 1;
        lines_.push_back(std::move(line));
        start = next;
    }
}

size_t IniDocument::FindBlock(std::string_view section) const {
    for (size_t b = 0; b < blocks_.size(); ++b)
        if (SameName(blocks_[b], section)) return b;
    return std::string::npos;
}

long IniDocument::Find(std::string_view section, std::string_view key) const {
    const size_t block = FindBlock(section);
    if (block == std::string::npos || key.empty()) return -1;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].block == block && !lines_[i].key.empty() && SameName(lines_[i].key, key))
            return static_cast<long>(i);
    }
    return -1;
}

std::optional<std::string> IniDocument::Get(std::string_view section, std::string_view key) const {
    const long i = Find(section, key);
    if (i < 0) return std::nullopt;
    const std::string& text = lines_[static_cast<size_t>(i)].text;
    std::string_view value = TrimView(std::string_view(text).substr(text.find('=') + 1));
    if (EnclosedInQuotes(value)) value = value.substr(1, value.size() - 2);
    return std::string(value);
}

int IniDocument::GetInt(std::string_view section, std::string_view key, int fallback) const {
    const std::optional<std::string> raw = Get(section, key);
    if (!raw) return fallback;
    std::string_view t = TrimView(*raw);
    if (StartsWith(t, "+")) {
        t.remove_prefix(1);
        if (StartsWith(t, "-")) return fallback;
    }
    int value = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (ec != std::errc() || end != t.data() + t.size()) return fallback;
    return value;
}

bool IniDocument::GetBool(std::string_view section, std::string_view key, bool fallback) const {
    return GetInt(section, key, fallback ? 1 : 0) != 0;
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
    std::string v(value);
    for (char& c : v)
        if (c == '\r' || c == '\n') c = ' ';
    if (!v.empty() && (IsBlankByte(v.front()) || IsBlankByte(v.back()) || EnclosedInQuotes(v))) v = '"' + v + '"';

    const long existing = Find(section, key);
    if (existing >= 0) {
        Line& line = lines_[static_cast<size_t>(existing)];
        // Keeps the key as the file spells it.
        line.text = line.text.substr(0, line.text.find('=') + 1) + v;
        return;
    }
    size_t block = FindBlock(section);
    size_t insertAt = 0;
    if (block == std::string::npos) {
        if (!lines_.empty() && !TrimView(lines_.back().text).empty()) lines_.push_back({"", "", blocks_.size() - 1, false, {}});
        blocks_.emplace_back(section);
        block = blocks_.size() - 1;
        lines_.push_back({"[" + std::string(section) + "]", "", block, true, {}});
        insertAt = lines_.size();
    } else {
        // After the last entry or header line of the block, before the blank lines and
        // comments that separate it from the next one.
        for (size_t i = 0; i < lines_.size(); ++i) {
            if (lines_[i].block == block && (lines_[i].header || !lines_[i].key.empty())) insertAt = i + 1;
        }
    }
    lines_.insert(lines_.begin() + static_cast<long>(insertAt), {std::string(key) + "=" + v, "", block, false, std::string(key)});
}

void IniDocument::SetInt(std::string_view section, std::string_view key, int value) {
    Set(section, key, std::to_string(value));
}

void IniDocument::SetBool(std::string_view section, std::string_view key, bool value) {
    Set(section, key, value ? "1" : "0");
}

std::vector<std::string> IniDocument::Sections() const {
    return std::vector<std::string>(blocks_.begin() + 1, blocks_.end());
}

std::string IniDocument::ToString() const {
    std::string out = bom_;
    for (const Line& line : lines_) {
        out += line.text;
        out += line.eol.empty() ? eol_ : line.eol;
    }
    return out;
}

}  // namespace nuv
