#include "support/Files.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace nuv::test {
namespace fs = std::filesystem;

TempFolder::TempFolder(std::string_view prefix, const fs::path& parent) {
    const fs::path under = parent.empty() ? fs::temp_directory_path() : parent;
    std::string pattern = (under / (std::string(prefix) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a folder like " + pattern);
    path_ = pattern + "/";
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string TempFolder::Write(std::string_view name, std::string_view content) const {
    std::string file = File(name);
    WriteFile(file, content);
    return file;
}

std::string TempFolder::Read(std::string_view name) const { return ReadFile(File(name)); }

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& file, std::string_view content) {
    if (file.has_parent_path()) fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

fs::path DataPath(std::string_view relative) {
    return fs::path(NUV_TEST_DATA_DIR) / fs::path(std::u8string(relative.begin(), relative.end()));
}

std::string ReadData(std::string_view relative) {
    const fs::path file = DataPath(relative);
    if (!fs::is_regular_file(file)) throw std::runtime_error("no test data " + file.string());
    return ReadFile(file);
}

namespace {

std::string Unescape(std::string_view field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            out += field[i];
            continue;
        }
        switch (const char c = field[++i]) {
            case 'r': out += '\r'; break;
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'x':
                if (i + 2 >= field.size()) throw std::runtime_error("cut \\x escape in " + std::string(field));
                out += static_cast<char>(std::stoi(std::string(field.substr(i + 1, 2)), nullptr, 16));
                i += 2;
                break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace

std::vector<std::vector<std::string>> ReadTable(std::string_view relative) {
    std::vector<std::vector<std::string>> rows;
    const std::string text = ReadData(relative);
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string_view line(text.data() + start, end - start);
        start = end + 1;
        if (line.empty() || line.front() == '#') continue;
        std::vector<std::string>& row = rows.emplace_back();
        for (std::size_t from = 0;;) {
            const std::size_t tab = line.find('\t', from);
            row.push_back(Unescape(line.substr(from, tab == std::string_view::npos ? std::string_view::npos : tab - from)));
            if (tab == std::string_view::npos) break;
            from = tab + 1;
        }
    }
    return rows;
}

}  // namespace nuv::test
