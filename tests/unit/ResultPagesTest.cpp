#include <gtest/gtest.h>

#include "extract/ResultPages.h"

namespace nuv {
namespace {

const std::vector<std::string> kHead = {"<html> <style>", "</style>", "<body><table>"};

std::string Heading(const std::string& text) {
    return "<html> <style>\r\n</style>\r\n<body><table>\r\n<tr><td class=\"yemei\" colspan=\"4\">" + text + "</td></tr>";
}

std::string ImageCell(const std::string& a) {
    return "<td width=\"100\"><img src=\"" + a + "\" alt=\"" + a + "\" /><br><a href=\"" + a +
           "\" target=_blank class=\"moreintro\" onclick=\"return false;\" title=\"" + a + "\">保存本图片</a></td>";
}

TEST(ResultPages, ImagePageRowsHoldFourCells) {
    ExtractionLists lists;
    EXPECT_EQ(RenderImagePage(kHead, lists),
              Heading("图片提取") + "<tr><td colspan=\"4\">没有任何图片</td></tr></table></body></html>");
    lists.AddImage("a1");
    EXPECT_EQ(RenderImagePage(kHead, lists), Heading("图片提取") + "<tr>" + ImageCell("a1") + "</tr></table></body></html>");
    for (const char* a : {"a2", "a3", "a4"}) lists.AddImage(a);
    EXPECT_EQ(RenderImagePage(kHead, lists), Heading("图片提取") + "<tr>" + ImageCell("a1") + ImageCell("a2") +
                                                 ImageCell("a3") + ImageCell("a4") + "</tr></table></body></html>");
    lists.AddImage("a5");
    EXPECT_EQ(RenderImagePage(kHead, lists), Heading("图片提取") + "<tr>" + ImageCell("a1") + ImageCell("a2") +
                                                 ImageCell("a3") + ImageCell("a4") + "</tr><tr>" + ImageCell("a5") +
                                                 "</tr></table></body></html>");
}

TEST(ResultPages, FlashAndOtherPagesUseTheirOwnLiterals) {
    ExtractionLists lists;
    EXPECT_EQ(RenderFlashPage(kHead, lists, "http://site.example/"),
              Heading("http://site.example/ - Flash动画提取") +
                  "<tr><td colspan=\"4\">没有任何动画。</td></tr></table></body></html>");
    lists.FlashURLs.Add("m.swf");
    EXPECT_EQ(RenderFlashPage(kHead, lists, "http://site.example/"),
              Heading("http://site.example/ - Flash动画提取") +
                  "<tr><td width=\"100\"><a href=\"m.swf\" target=\"_blank\"><object><param name=\"movie\" "
                  "value=\"m.swf\"><embed src=\"m.swf\"></embed></object></a><a href=\"m.swf\" "
                  "target=_blank onclick=\"return false;\">保存本Flash</a></td></tr></table></body></html>");
    EXPECT_EQ(RenderOtherPage(kHead, lists),
              Heading("其他资源") + "<tr colspan=\"4\"><td>没有任何其他资源。</td></tr></table></body></html>");
    lists.OtherURLs.Add("f.zip");
    EXPECT_EQ(RenderOtherPage(kHead, lists),
              Heading("其他资源") +
                  "<tr><td width=\"100\"><a href=\"f.zip\" target=\"_blank\">f.zip</a></td></tr></table></body></html>");
    // Without the template the table is still built.
    EXPECT_EQ(RenderOtherPage({}, ExtractionLists{}),
              "<tr><td class=\"yemei\" colspan=\"4\">其他资源</td></tr><tr colspan=\"4\"><td>没有任何其他资源。</td></tr></table></body></html>");
}

TEST(ResultPages, AddressesAreEscapedSoAPageCannotInjectMarkup) {
    ExtractionLists lists;
    lists.AddImage("x.gif\"><script>alert(1)</script><a b='c&d");
    const std::string html = RenderImagePage(kHead, lists);
    EXPECT_EQ(html.find("<script>"), std::string::npos);
    EXPECT_NE(html.find("src=\"x.gif&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;&lt;a b=&#39;c&amp;d\""),
              std::string::npos);
    EXPECT_NE(RenderFlashPage(kHead, lists, "http://e.example/<b>").find("http://e.example/&lt;b&gt; - Flash动画提取"),
              std::string::npos);
}

}  // namespace
}  // namespace nuv
