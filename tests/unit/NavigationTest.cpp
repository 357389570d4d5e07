#include "app/logic/Navigation.h"

#include <filesystem>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "support/Files.h"

namespace nuv {
namespace {

struct Case {
    const char* typed;
    const char* navigate;
    const char* box;
    bool writeBack;
    bool local;
};

TEST(Navigation, TypedAddressesAreCompletedOnlyWhenTheyNameNoScheme) {
    const Case cases[] = {
        {"site.example/a.htm", "http://site.example/a.htm", "http://site.example/a.htm", true, false},
        {"  site.example \t", "http://site.example", "http://site.example", true, false},
        {"http://site.example/", "http://site.example/", "http://site.example/", false, false},
        {" https://site.example/ ", "https://site.example/", " https://site.example/ ", false, false},
        {"HTTP://SITE.example/", "HTTP://SITE.example/", "HTTP://SITE.example/", false, false},
        // the scheme may stand anywhere in the text
        {"go?u=http://x.example", "go?u=http://x.example", "go?u=http://x.example", false, false},
        {"C:\\pages\\a.htm", "C:\\pages\\a.htm", "C:\\pages\\a.htm", false, false},
        {"/home/u/page.html", "/home/u/page.html", "/home/u/page.html", false, true},
        {"file:///home/u/page.html", "file:///home/u/page.html", "file:///home/u/page.html", false, false},
        {"FILE:///x.html", "FILE:///x.html", "FILE:///x.html", false, false},
    };
    for (const Case& c : cases) {
        const TypedAddress a = CompleteTypedAddress(c.typed);
        EXPECT_EQ(a.navigateTo, c.navigate) << c.typed;
        EXPECT_EQ(a.boxText, c.box) << c.typed;
        EXPECT_EQ(a.writeBack, c.writeBack) << c.typed;
        EXPECT_EQ(a.localFile, c.local) << c.typed;
    }
}

TEST(Navigation, OnlyWellFormedWebAddressesAreOpened) {
    for (const char* good : {"http://site.example/", "HTTPS://SITE.example", "http://a/b c/?q=1 2#x y",
                             "http://user:pw@host:8080/p", "http://[::1]:80/", "http://127.0.0.1", "http://网站.example/页", "http://host:/"}) {
        EXPECT_TRUE(IsWellFormedWebAddress(good)) << good;
    }
    for (const char* bad : {"http://a b/", "http:///path", "http://", "https://:80/", "http://host:8o/",
                            "http://host:123456/", "http://ho\\st/", "http://[::1/", "go?u=http://x.example",
                            "ftp://host/", "http://ho\tst/"}) {
        EXPECT_FALSE(IsWellFormedWebAddress(bad)) << bad;
    }
}

TEST(Navigation, ARelativePathOnTheCommandLineNamesTheFile) {
    const test::TempFolder scratch{"nuv-cmdline"};
    const std::string folder = scratch.Dir().string();
    scratch.Write("pages/a.html", "<html></html>");
    for (const auto& [argument, opened] :
         {std::pair<std::string, std::string>{"./pages/a.html", folder + "/pages/a.html"},
          {"pages/../pages/a.html", folder + "/pages/a.html"},
          {"pages", "pages"},  // a folder: taken for a host, as typed
          {"missing.html", "missing.html"},
          {"site.example/a.html", "site.example/a.html"},
          {"http://site.example/", "http://site.example/"},
          {"/abs/a.html", "/abs/a.html"}}) {
        EXPECT_EQ(CommandLineAddress(argument, folder), opened) << argument;
    }
}

TEST(Navigation, TabCaptionsCountHiddenPagesAndResizeFollowsTheWindow) {
    const std::string captions[] = {"当前网页", "文本源码", "文本源码"};
    // TabSheet1 and TbSource visible: the second visible tab shows page 1's caption.
    EXPECT_EQ(TabCaptionAt(1, captions, 3), "文本源码");
    const std::string all[] = {"当前网页", "图片动画", "文本源码"};
    EXPECT_EQ(TabCaptionAt(0, all, 3), "当前网页");
    EXPECT_EQ(TabCaptionAt(2, all, 3), "文本源码");
    EXPECT_EQ(TabCaptionAt(3, all, 3), "");

    const ResizeWidths w = ComputeResizeWidths(1024);
    EXPECT_EQ(w.edtURL, 534);
    EXPECT_EQ(w.edtPicPath, 534);
    EXPECT_EQ(w.imgURL, 554);
    EXPECT_EQ(w.imgTopBG, 574);
}

TEST(Navigation, DropDownGrowsSeventeenAnEntryUpTo165) {
    for (const auto& [entries, height] :
         {std::pair{0, 0}, {1, 17}, {3, 51}, {9, 153}, {10, 165}, {12, 165}, {100000, 165}, {-1, 0}}) {
        const DropDownGeometry g = ComputeDropDownGeometry(47, 11, 695, 19, entries);
        EXPECT_EQ(g.height, height) << entries;
        EXPECT_EQ(g.left, 55);
        EXPECT_EQ(g.top, 47);
        EXPECT_EQ(g.width, 695);
    }
}

}  // namespace
}  // namespace nuv
