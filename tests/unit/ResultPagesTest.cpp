#include <gtest/gtest.h>

#include "extract/Extraction.h"
#include "support/FakeBrowser.h"
#include "support/FakeExtractionView.h"

namespace nuv {
namespace {

class NoDownloader : public IDownloader {
public:
    void DownloadToFile(const std::string&, const std::string&, const DownloadProgressFn&) override {}
};
class NoFetcher : public IPageFetcher {
public:
    std::string Get(const std::string&) override { return {}; }
};

class ResultPagesTest : public ::testing::Test {
protected:
    test::FakeExtractionView view;
    test::FakeBrowser page, target;
    NoDownloader downloader;
    NoFetcher http;
    Extraction x{ExtractionServices{view, page, view, downloader, http, "/home/u/"}};
    const std::string head = "<html> <style>\r\n</style>\r\n<body><table>\r\n";

    static std::string ImageCell(const std::string& a) {
        return "<td width=\"100\"><img src=\"" + a + "\" alt=\"" + a + "\" /><br><a href=\"" + a +
               "\" target=_blank class=\"moreintro\" onclick=\"return false;\" title=\"" + a +
               "\">保存本图片</a></td>";
    }
    std::string Heading(const std::string& text) const {
        return head + "<tr><td class=\"yemei\" colspan=\"4\">" + text + "</td></tr>";
    }
};

TEST_F(ResultPagesTest, ImagePageRowsHoldFourCells) {
    x.RenderImagePage(target);
    EXPECT_EQ(x.ResultHtml, Heading("图片提取") + "<tr><td colspan=\"4\">没有任何图片</td></tr></table></body></html>");

    x.lists.AddImage("a1");
    x.RenderImagePage(target);
    EXPECT_EQ(x.ResultHtml, Heading("图片提取") + "<tr>" + ImageCell("a1") + "</tr></table></body></html>");

    for (const char* a : {"a2", "a3", "a4"}) x.lists.AddImage(a);
    x.RenderImagePage(target);
    EXPECT_EQ(x.ResultHtml, Heading("图片提取") + "<tr>" + ImageCell("a1") + ImageCell("a2") + ImageCell("a3") +
                                ImageCell("a4") + "</tr></table></body></html>");

    x.lists.AddImage("a5");
    x.RenderImagePage(target);
    EXPECT_EQ(x.ResultHtml, Heading("图片提取") + "<tr>" + ImageCell("a1") + ImageCell("a2") + ImageCell("a3") +
                                ImageCell("a4") + "</tr><tr>" + ImageCell("a5") + "</tr></table></body></html>");
    // The page goes to the browser given, lines re-joined with CR LF.
    ASSERT_EQ(target.loaded.size(), 4u);
    EXPECT_EQ(target.loaded.back(), x.ResultHtml + "\r\n");
}

TEST_F(ResultPagesTest, FlashAndOtherPagesUseTheirOwnLiterals) {
    x.PageURL = "http://site.example/";
    x.RenderFlashPage(target);
    EXPECT_EQ(x.ResultHtml, Heading("http://site.example/ - Flash动画提取") +
                                "<tr><td colspan=\"4\">没有任何动画。</td></tr></table></body></html>");
    x.lists.FlashURLs.Add("m.swf");
    x.RenderFlashPage(target);
    EXPECT_EQ(x.ResultHtml,
              Heading("http://site.example/ - Flash动画提取") +
                  "<tr><td width=\"100\"><a href=\"m.swf\" target=\"_blank\"><object><param name=\"movie\" "
                  "value=\"m.swf\"><embed src=\"m.swf\"></embed></object></a><a href=\"m.swf\" "
                  "target=_blank onclick=\"return false;\">保存本Flash</a></td></tr></table></body></html>");

    x.RenderOtherPage(target);
    EXPECT_EQ(x.ResultHtml, Heading("其他资源") + "<tr colspan=\"4\"><td>没有任何其他资源。</td></tr></table></body></html>");
    x.lists.OtherURLs.Add("f.zip");
    x.RenderOtherPage(target);
    EXPECT_EQ(x.ResultHtml, Heading("其他资源") +
                                "<tr><td width=\"100\"><a href=\"f.zip\" target=\"_blank\">f.zip</a></td></tr></table></body></html>");
}

TEST_F(ResultPagesTest, AddressesAreEscapedSoAPageCannotInjectMarkup) {
    x.lists.AddImage("x.gif\"><script>alert(1)</script><a b='c&d");
    x.RenderImagePage(target);
    EXPECT_EQ(x.ResultHtml.find("<script>"), std::string::npos);
    EXPECT_NE(x.ResultHtml.find("src=\"x.gif&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;&lt;a b=&#39;c&amp;d\""),
              std::string::npos);
    x.PageURL = "http://e.example/<b>";
    x.RenderFlashPage(target);
    EXPECT_NE(x.ResultHtml.find("http://e.example/&lt;b&gt; - Flash动画提取"), std::string::npos);
}

TEST_F(ResultPagesTest, AMissingTemplateStillGivesTheTable) {
    view.page1.clear();
    x.RenderOtherPage(target);
    EXPECT_EQ(x.ResultHtml, "<tr><td class=\"yemei\" colspan=\"4\">其他资源</td></tr><tr colspan=\"4\"><td>没有任何其他资源。</td></tr></table></body></html>");
}

}  // namespace
}  // namespace nuv
