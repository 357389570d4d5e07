#include "extract/ResultPages.h"

#include <string_view>

#include "common/Guard.h"
#include "common/Text.h"

// The three result pages: a heading row, then four cells a row. Every address taken
// from a foreign page is escaped for HTML before it goes into the markup, so a crafted
// reference cannot add elements or script to the page that holds the download bridge.
namespace nuv {
namespace {

constexpr std::string_view kHeadingFormat = "%s<tr><td class=\"yemei\" colspan=\"4\">%s</td></tr>";
constexpr std::string_view kRowStart = "<tr>";
constexpr std::string_view kRowEnd = "</tr>";
constexpr std::string_view kCloseOpenRow = "</tr></table></body></html>";
constexpr std::string_view kCloseTable = "</table></body></html>";

std::string EscapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 16);
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

struct PageLiterals {
    std::string_view heading;
    std::string_view emptyFormat;
    std::string_view emptyMessage;
};

// Builds the page from the template; `cell(i)` renders entry i.
template <typename CellFn>
std::string BuildPage(const std::vector<std::string>& templateLines, std::string_view heading,
                      size_t count, std::string_view emptyFormat, std::string_view emptyMessage,
                      CellFn cell) {
    std::string html = JoinLinesCrLf(templateLines);
    try {
        html = FormatS(kHeadingFormat, {html, heading});
        if (count == 0) return FormatS(emptyFormat, {html, emptyMessage});
        int row = 0;
        for (size_t i = 0; i < count; ++i) {
            try {
                ++row;
                std::string c = cell(i);
                if (row == 1) {
                    c.insert(0, kRowStart);
                } else if (row > 3) {
                    row = 0;
                    c += kRowEnd;
                }
                html += c;
            } catch (...) {
                NoteSwallowed();
                // One bad cell is lost alone.
            }
        }
        html += row == 0 ? kCloseTable : kCloseOpenRow;
    } catch (...) {
        NoteSwallowed();
        // The page is shown as far as it was built.
    }
    return html;
}

}  // namespace

std::string RenderImagePage(const std::vector<std::string>& head, const ExtractionLists& lists) {
    const auto& urls = lists.ImageURLs;
    return BuildPage(
        head, "图片提取", urls.size(),
        "%s<tr><td colspan=\"4\">没有任何图片</td></tr></table></body></html>", "",
        [&](size_t i) {
            const std::string a = EscapeHtml(urls[i]);
            const std::string alt = EscapeHtml(i < lists.ImageAlts.size() ? lists.ImageAlts[i] : urls[i]);
            return FormatS(
                "<td width=\"100\"><img src=\"%s\" alt=\"%s\" /><br><a href=\"%s\" target=_blank "
                "class=\"moreintro\" onclick=\"return false;\" title=\"%s\">%s</a></td>",
                {a, alt, a, a, "保存本图片"});
        });
}

std::string RenderFlashPage(const std::vector<std::string>& head, const ExtractionLists& lists,
                            const std::string& pageAddress) {
    const auto& urls = lists.FlashURLs;
    const std::string heading = EscapeHtml(pageAddress) + " - Flash动画提取";
    return BuildPage(
        head, heading, urls.size(),
        "%s<tr><td colspan=\"4\">%s</td></tr></table></body></html>", "没有任何动画。",
        [&](size_t i) {
            const std::string a = EscapeHtml(urls[i]);
            return FormatS(
                "<td width=\"100\"><a href=\"%s\" target=\"_blank\"><object><param name=\"movie\" "
                "value=\"%s\"><embed src=\"%s\"></embed></object></a><a href=\"%s\" target=_blank "
                "onclick=\"return false;\">保存本Flash</a></td>",
                {a, a, a, a});
        });
}

std::string RenderOtherPage(const std::vector<std::string>& head, const ExtractionLists& lists) {
    const auto& urls = lists.OtherURLs;
    return BuildPage(
        head, "其他资源", urls.size(),
        "%s<tr colspan=\"4\"><td>%s</td></tr></table></body></html>", "没有任何其他资源。",
        [&](size_t i) {
            const std::string a = EscapeHtml(urls[i]);
            return FormatS("<td width=\"100\"><a href=\"%s\" target=\"_blank\">%s</a></td>", {a, a});
        });
}

}  // namespace nuv
