#include "extract/Extraction.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <stdexcept>
#include <tuple>

#include <gtest/gtest.h>

#include "support/FakeBrowser.h"
#include "support/FakeNetwork.h"
#include "support/FakeWindowParts.h"
#include "support/Files.h"

namespace nuv {
namespace {

using test::FakeBrowser;
using test::FakeDownloader;
using test::FakeExtractionWindow;
using test::FakeFetcher;

// No network: every download fails.
FakeDownloader Offline() {
    FakeDownloader d;
    d.error = "offline";
    return d;
}

// Style sheets served from memory; any other address is not found.
FakeDownloader SheetsOnly() {
    FakeDownloader d;
    d.missing = "404";
    return d;
}

std::vector<ImagePlace> Places(const std::vector<ImageNote>& notes) {
    std::vector<ImagePlace> places;
    for (const ImageNote& n : notes) places.push_back(n.place);
    return places;
}

const AddressList& ListOf(const ExtractionLists& lists, ListKind kind) {
    switch (kind) {
        case ListKind::lkImage: return lists.ImageURLs;
        case ListKind::lkLink: return lists.LinkURLs;
        case ListKind::lkFlash: return lists.FlashURLs;
        case ListKind::lkOther: return lists.OtherURLs;
    }
    throw std::logic_error("no such list");
}

// Records what an extraction tells it, and the lists and the downloads as they are then.
class RecordingObserver : public IExtractionObserver {
public:
    explicit RecordingObserver(const FakeDownloader& downloader) : downloader_(downloader) {}
    void Found(ListKind list, const std::string& address) override {
        found[list].push_back(address);
        const AddressList& l = ListOf(*lists, list);
        if (l.empty() || l.Items().back() != address) toldLate.push_back(address);
        if (fail) throw std::runtime_error("full");
    }
    void FetchingSheet(const std::string& address, const std::string& file) override {
        sheets.push_back({address, file, downloader_.calls.size()});
        if (fail) throw std::runtime_error("full");
    }

    struct Sheet {
        std::string address, file;
        size_t downloadsBefore;  // the downloader's calls when it was told
    };
    std::map<ListKind, std::vector<std::string>> found;
    std::vector<std::string> toldLate;  // entries that were not the last of their list when told
    std::vector<Sheet> sheets;
    bool fail = false;
    const ExtractionLists* lists = nullptr;  // of the extraction told

private:
    const FakeDownloader& downloader_;
};

ExtractionServices Observed(ExtractionServices s, IExtractionObserver& observer) {
    s.observer = &observer;
    return s;
}

std::vector<std::string> Texts(const std::vector<ExtractionError>& errors) {
    std::vector<std::string> texts;
    for (const ExtractionError& e : errors) texts.push_back(e.step + " | " + e.address + " | " + e.why);
    return texts;
}

class ExtractionTest : public ::testing::Test {
protected:
    FakeExtractionWindow w;
    FakeBrowser page;
    FakeDownloader downloader = Offline();
    FakeFetcher http;
    Extraction x{w.Services(page, downloader, http)};

    void Load(const std::string& address, const std::string& source) {
        page.location = address;
        page.source = source;
        page.title = "T";
        page.bodyText = "B";
        page.tree = FrameDocument{address, {}};
        page.links = std::vector<std::string>{};
    }
    void Select(DocType t) { x.LBDocTypeClick(static_cast<int>(t)); }
};

TEST_F(ExtractionTest, WithoutAPageTheTypedAddressIsOpenedOrThePageAskedFor) {
    // An earlier extraction's list, kept.
    Load("http://kept.example/", "<img src=\"a.gif\">");
    Select(DocType::Images);
    w.tabs.memo = "old";
    w.result.calls = 0;
    w.addressBox.dropDownHidden = 0;
    page.location.clear();

    w.addressBox.text = " \t ";
    page.hasDocument = false;
    Select(DocType::PageText);
    EXPECT_EQ(w.dialogs.messages, std::vector<std::string>{"请选择一个网页"});
    EXPECT_TRUE(page.navigations.empty());
    EXPECT_EQ(w.tabs.memo, "old");  // nothing else changes

    w.addressBox.text = " site.example ";
    Select(DocType::Images);
    // The box's own route opens it (completed as Enter completes it), not the raw text.
    EXPECT_EQ(w.addressBox.opened, std::vector<std::string>{" site.example "});
    EXPECT_TRUE(page.navigations.empty());
    EXPECT_EQ(x.Lists().ImageURLs.size(), 1u);
    EXPECT_EQ(w.result.calls, 0);
    EXPECT_EQ(w.addressBox.dropDownHidden, 2);
}

TEST_F(ExtractionTest, TextEntriesFillTheMemoAndShowTheSourceTabUnderTheRightCaption) {
    Load("http://site.example/", "<html><body>B</body></html>");
    Select(DocType::PageSource);
    EXPECT_EQ(w.tabs.memo, "<html><body>B</body></html>");
    EXPECT_EQ(x.LastResult().memoText, w.tabs.memo);
    EXPECT_EQ(x.LastResult().type, DocType::PageSource);
    EXPECT_EQ(x.PageAddress(), "http://site.example/");
    EXPECT_TRUE(w.tabs.visible[2]);
    EXPECT_FALSE(w.tabs.visible[1]);
    EXPECT_EQ(w.tabs.captions[1], "文本源码");  // the second visible tab reads like the source tab
    EXPECT_EQ(w.tabs.activePage, MainPage::TbSource);

    Select(DocType::PageText);
    EXPECT_EQ(w.tabs.memo, "TB");

    // A result entry afterwards shows the result tab as "图片动画"; a later text entry
    // changes neither caption nor visibility.
    Select(DocType::Other);
    EXPECT_TRUE(w.tabs.visible[1]);
    EXPECT_EQ(w.tabs.captions[1], "图片动画");
    Select(DocType::PageSource);
    EXPECT_EQ(w.tabs.captions[1], "图片动画");
}

TEST_F(ExtractionTest, ResultEntriesPrepareTheResultWindowFirst) {
    Load("http://site.example/", "<html></html>");
    w.tabs.visible[1] = false;
    Select(DocType::Flash);
    EXPECT_FALSE(w.result.imageMode);
    ASSERT_GE(w.result.browser.navigations.size(), 1u);
    EXPECT_EQ(w.result.browser.navigations[0], "about:blank");
    ASSERT_EQ(w.result.browser.loaded.size(), 2u);  // the empty head, then the finished page
    EXPECT_EQ(w.result.browser.loaded[0], "<html> <style>\r\n</style>\r\n<body><table>\r\n");
    EXPECT_NE(w.result.browser.loaded[1].find("没有任何动画。"), std::string::npos);
    EXPECT_EQ(w.bar.maximum, 200);
    EXPECT_EQ(w.bar.position, 0);
    EXPECT_TRUE(w.tabs.visible[1]);

    Select(DocType::Other);
    EXPECT_TRUE(w.result.imageMode);  // the other-resources page leaves the window in image mode
    EXPECT_EQ(w.tabs.activePage, MainPage::TSOutput);
}

TEST_F(ExtractionTest, ImageExtractionCollectsSourceThenFramesWithoutRepeats) {
    Load("http://site.example/", "<embed src=\"kept.swf\">");
    Select(DocType::Flash);
    Load("http://site.example/dir/index.html",
         "<img src=\"logo.gif\"><img src='LOGO.GIF'><img src=\"logo.gif\"><img src=\"p/a.JPG\">"
         "<img src=\"b.jpeg\">");
    FrameDocument blank{"about:blank", {}};
    page.tree = FrameDocument{"http://site.example/dir/index.html",
                              {FrameDocument{"http://site.example/f.html", {}}, blank,
                               FrameDocument{"http://gone.example/x.html", {}}}};
    http.pages["http://site.example/f.html"] = "<img src=\"/img/frame.png\"><img src=\"dir/logo.gif\">";

    Select(DocType::Images);
    EXPECT_EQ(x.Lists().ImageURLs.Items(),
              (std::vector<std::string>{"http://site.example/dir/logo.gif", "http://site.example/dir/p/a.JPG",
                                        "http://site.example/dir/b.jpeg", "http://site.example/img/frame.png"}));
    EXPECT_EQ(x.Lists().ImageAlts, x.Lists().ImageURLs.Items());
    EXPECT_EQ(http.fetched, (std::vector<std::string>{"http://site.example/f.html", "http://gone.example/x.html"}));
    EXPECT_EQ(x.LastResult().frames, (std::vector<std::string>{"http://site.example/f.html", "about:blank",
                                                               "http://gone.example/x.html"}));
    EXPECT_EQ(x.LastResult().addresses, x.Lists().ImageURLs.Items());
    EXPECT_EQ(Places(x.LastResult().notes),
              (std::vector<ImagePlace>{ImagePlace::Page, ImagePlace::Page, ImagePlace::Page, ImagePlace::Frame}));
    EXPECT_NE(x.LastResult().resultHtml.find("img/frame.png"), std::string::npos);
    EXPECT_EQ(x.Lists().FlashURLs.size(), 1u);  // untouched

    // Selecting it again gives the same list: it is cleared first.
    Select(DocType::Images);
    EXPECT_EQ(x.Lists().ImageURLs.size(), 4u);
}

TEST_F(ExtractionTest, ASelectionWhileAnExtractionRunsIsIgnored) {
    Load("http://site.example/", "<img src=\"a.gif\">");
    w.result.browser.readyStates = {ready_state::kLoading, ready_state::kLoading};  // the result browser is still loading
    int clicks = 0;
    w.result.browser.onProcessEvents = [&] {
        ++clicks;
        x.LBDocTypeClick(static_cast<int>(DocType::Other));
    };
    Select(DocType::Images);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(x.Lists().ImageURLs.Items(), std::vector<std::string>{"http://site.example/a.gif"});
    EXPECT_EQ(w.result.calls, 2);  // prepare, then the image page: no other-resources run
    w.result.browser.onProcessEvents = nullptr;
    Select(DocType::Other);  // afterwards selections work again
    EXPECT_EQ(w.result.calls, 4);
}

TEST_F(ExtractionTest, LinksAreSortedIntoPagesFlashAndOtherFiles) {
    Load("http://site.example/", "<embed src=\"old.swf\">");
    Select(DocType::Flash);
    page.links = std::vector<std::string>{
        "http://site.example/page.html#top", "javascript:void(0)", "http://site.example/news/index.html",
        "http://site.example/list.php?id=1",  "http://site.example/Movie.SWF",
        "http://site.example/movie.swf",      "http://site.example/a.zip",
        "http://site.example/a.zip",          "http://site.example/setup.exe"};
    Select(DocType::Other);
    EXPECT_EQ(x.Lists().LinkURLs.Items(), (std::vector<std::string>{"http://site.example/news/index.html",
                                                                  "http://site.example/list.php?id=1"}));
    EXPECT_EQ(x.Lists().LinkTexts, x.Lists().LinkURLs.Items());
    EXPECT_EQ(x.Lists().FlashURLs.Items(),
              (std::vector<std::string>{"http://site.example/old.swf", "http://site.example/Movie.SWF"}));
    EXPECT_EQ(x.Lists().OtherURLs.Items(),
              (std::vector<std::string>{"http://site.example/a.zip", "http://site.example/setup.exe"}));
    Select(DocType::Other);
    EXPECT_EQ(x.Lists().FlashURLs.size(), 2u);

    // A page that makes more links than kLinkLimit has its first ones sorted.
    std::vector<std::string> many;
    for (size_t i = 0; i <= kLinkLimit; ++i) many.push_back("http://site.example/" + std::to_string(i) + ".zip");
    page.links = many;
    Select(DocType::Other);
    EXPECT_EQ(x.Lists().OtherURLs.size(), kLinkLimit);
    EXPECT_EQ(x.Lists().OtherURLs.Items().back(), many[kLinkLimit - 1]);
    EXPECT_EQ(x.LastResult().cut.links, 1u);
}

// What the browser's bounds cut and what the list's bound cuts add up in the result.
TEST_F(ExtractionTest, ShownPicturesBeyondTheBoundsAreCounted) {
    Load("http://site.example/", "<img src=\"a.gif\"><img src=\"b.gif\">");
    std::vector<ShownPicture> shown;
    for (size_t i = 0; i <= kShownPictureLimit; ++i) shown.push_back({"http://site.example/s/" + std::to_string(i) + ".png"});
    page.shown = shown;
    page.shownDocumentsCut = 7;
    page.shownPicturesCut = 5;
    x.SetIncludeShownPictures(true);
    Select(DocType::Images);
    EXPECT_EQ(x.Lists().ImageURLs.size(), kShownPictureLimit);
    const ExtractionCut& cut = x.LastResult().cut;
    EXPECT_EQ(cut.documents, 7u);
    EXPECT_EQ(cut.shownPictures, 5u + 1 + 2);  // the browser's, beyond the read, beyond the list
    EXPECT_EQ(cut.links, 0u);
}

TEST_F(ExtractionTest, CssExtractionNamesEverySheetEvenWhenDownloadsFail) {
    Load("http://site.example/", "<link href=\"a.css\"><link href=\"a.css\">");
    Select(DocType::Css);
    EXPECT_EQ(x.Lists().CssURLs,
              (std::vector<std::string>{"http://site.example/a.css", "http://site.example/a.css"}));
    EXPECT_EQ(downloader.calls.size(), 2u);
    // The value names each sheet with its outcome.
    const ExtractionResult& r = x.LastResult();
    EXPECT_EQ(r.addresses, x.Lists().CssURLs);
    ASSERT_EQ(r.styleSheets.size(), 2u);
    EXPECT_EQ(r.styleSheets[1].address, "http://site.example/a.css");
    EXPECT_EQ(r.styleSheets[1].outcome.file, "/tmp/a.css");
    EXPECT_FALSE(r.styleSheets[1].outcome.saved);
    EXPECT_EQ(r.styleSheets[1].outcome.error, "offline");
    ASSERT_EQ(w.dialogs.messages.size(), 1u);
    EXPECT_EQ(w.dialogs.messages[0],
              "已保存http://site.example/a.css\r\nhttp://site.example/a.css\r\n,你可以在『已保存资源列表』中找到。");
    EXPECT_EQ(w.tabs.memo, "");
    EXPECT_TRUE(w.tabs.visible[2]);
    EXPECT_EQ(w.savedList.refreshes, 1);
}

TEST_F(ExtractionTest, WithoutAWindowTheSameValueIsBuiltAndOnlyTheBarMoves) {
    Load("http://site.example/", "<img src=\"a.gif\"><link href=\"s.css\">");
    Extraction windowless{w.Services(page, downloader, http, false)};
    windowless.LBDocTypeClick(static_cast<int>(DocType::Images));  // a click needs the window
    EXPECT_FALSE(windowless.LastResult().ran);

    const ExtractionResult r = windowless.ExtractFormWebpage(static_cast<int>(DocType::Images));
    EXPECT_EQ(r.addresses, std::vector<std::string>{"http://site.example/a.gif"});
    EXPECT_NE(r.resultHtml.find("http://site.example/a.gif"), std::string::npos);
    ASSERT_EQ(r.styleSheets.size(), 1u);
    EXPECT_EQ(w.bar.maximum, 200);
    EXPECT_GT(w.bar.steps, 0);
    EXPECT_EQ(w.bar.position, 0);
    EXPECT_EQ(windowless.ExtractFormWebpage(static_cast<int>(DocType::PageText)).memoText, "TB");
    windowless.ExtractFormWebpage(static_cast<int>(DocType::Css));
    EXPECT_EQ(w.result.calls, 0);
    EXPECT_EQ(w.tabs.memo, "old");
    EXPECT_FALSE(w.tabs.visible[1] || w.tabs.visible[2]);
    EXPECT_EQ(w.savedList.refreshes, 0);
    EXPECT_TRUE(w.dialogs.messages.empty());

    // A caller that shows no result page (no head template) gets the same lists, and no
    // page is made.
    ExtractionServices listsOnly = w.Services(page, downloader, http, false);
    listsOnly.resultPageHead = {};
    Extraction noPage{listsOnly};
    for (const DocType type : {DocType::Images, DocType::Flash, DocType::Other}) {
        const ExtractionResult a = windowless.ExtractFormWebpage(static_cast<int>(type));
        const ExtractionResult b = noPage.ExtractFormWebpage(static_cast<int>(type));
        EXPECT_EQ(b.addresses, a.addresses);
        EXPECT_FALSE(a.resultHtml.empty());
        EXPECT_TRUE(b.resultHtml.empty());
    }
}

TEST_F(ExtractionTest, AnUnusableSaveFolderFallsBackOncePerSheet) {
    Load("http://site.example/", "<link href=\"a.css\"><link href=\"b.css\">");
    w.saveFolder.folder = "/dev/null/sub/";
    Select(DocType::Css);
    EXPECT_TRUE(downloader.calls.empty());
    EXPECT_EQ(w.savedList.unusable, 2);
    ASSERT_EQ(x.LastResult().styleSheets.size(), 2u);
    EXPECT_TRUE(x.LastResult().styleSheets[0].outcome.folderUnusable);
}

// An extraction whose style sheets are fetched into a save folder of its own.
class SheetExtractionTest : public ::testing::Test {
protected:
    void SetUp() override { w.saveFolder.folder = folder; }

    test::TempFolder scratch{"nuv-extraction"};
    std::string folder = scratch.Path() + "save/";
    FakeExtractionWindow w;
    FakeBrowser page;
    FakeDownloader downloader = SheetsOnly();
    FakeFetcher http;
    Extraction x{w.Services(page, downloader, http)};
};

TEST_F(SheetExtractionTest, SheetImagesFollowTheSourceInLowerCaseAndKeepLongReferences) {
    const std::string longName(60, 'n');
    page.location = "http://site.example/index.html";
    page.source = "<link href=\"css/a.css\"><img src=\"img/LOGO.GIF\"><img src=\"" + longName + ".gif\">"
                  "<embed src=\"movie.swf\"><embed src=\"player.php/clip.swf\">";
    page.tree = FrameDocument{page.location, {}};
    downloader.bodies["http://site.example/css/a.css"] =
        ".a { background: url(../img/logo.gif) }\n.b { background: url(" + longName + ".PNG) }\n"
        ".c { background: url(intro.swf) }\n";

    x.LBDocTypeClick(static_cast<int>(DocType::Images));
    // The 60-byte name is dropped from the page source but kept from the sheet, in lower case.
    EXPECT_EQ(x.Lists().ImageURLs.Items(),
              (std::vector<std::string>{"http://site.example/img/LOGO.GIF",
                                        "http://site.example/css/" + longName + ".png"}));
    EXPECT_EQ(Places(x.LastResult().notes), (std::vector<ImagePlace>{ImagePlace::Page, ImagePlace::Sheet}));
    EXPECT_TRUE(std::filesystem::exists(folder + "a.css"));
    EXPECT_EQ(w.savedList.refreshes, 1);

    x.LBDocTypeClick(static_cast<int>(DocType::Flash));
    // player.php/clip.swf names a page, not a movie; the sheet's movie follows the source's.
    EXPECT_EQ(x.Lists().FlashURLs.Items(),
              (std::vector<std::string>{"http://site.example/movie.swf", "http://site.example/css/intro.swf"}));
    EXPECT_EQ(Places(x.LastResult().notes), (std::vector<ImagePlace>{ImagePlace::Page, ImagePlace::Sheet}));
}

// The pictures the page shows come after the page source, its style sheets and its frames:
// with the option off nothing asks for them and the list stays as it was; with it on that
// list is the beginning of the new one, byte for byte, and only new http(s) pictures follow.
TEST_F(SheetExtractionTest, ShownPicturesFollowTheThreePlacesAndLeaveThemAsTheyWere) {
    page.location = "http://site.example/dir/index.html";
    page.source = "<link href=\"s.css\"><img src=\"a.gif\"><img src=\"B.PNG\"><img src=\"\xe5\x9b\xbe.gif\">";
    page.tree = FrameDocument{page.location, {FrameDocument{"http://other.example/f.html", {}}}};
    downloader.bodies["http://site.example/dir/s.css"] = ".x { background: url(bg.png) }\n";
    http.pages["http://other.example/f.html"] = "<img src=\"f.gif\">";
    page.shown = std::vector<ShownPicture>{
        {"http://site.example/dir/b.png", 40, 30, ""},  // the source's, in other letters: it tells the size
        {"http://site.example/dir/hero.webp", 640, 360, "image/webp"},
        {"data:image/gif;base64,R0lGODlhAQABAAAAACw=", 1, 1, ""},
        {"blob:http://site.example/5b1c", 0, 0, ""},
        {"javascript:alert(1)", 0, 0, ""},
        {"file:///etc/passwd", 0, 0, ""},
        {"HTTPS://cdn.example/i/8f3a?w=800", 800, 450, ""},
        {"http://site.example/dir/HERO.webp ", 0, 0, ""},  // the same again
        {"http://other.example/f.gif", 9, 9, ""},          // the frame's, found before
        {"http://site.example/dir/%E5%9B%BE.gif", 0, 0, ""},  // the source's, as the parser encodes it
    };

    x.LBDocTypeClick(static_cast<int>(DocType::Images));
    const std::vector<std::string> three = x.Lists().ImageURLs.Items();
    EXPECT_EQ(three, (std::vector<std::string>{"http://site.example/dir/a.gif", "http://site.example/dir/\xe5\x9b\xbe.gif",
                                               "http://site.example/dir/B.PNG",
                                               "http://site.example/dir/bg.png", "http://other.example/f.gif"}));
    EXPECT_EQ(page.shownReads, 0);
    EXPECT_EQ(x.LastResult().notes.size(), three.size());

    x.SetIncludeShownPictures(true);
    x.LBDocTypeClick(static_cast<int>(DocType::Images));
    EXPECT_EQ(page.shownReads, 1);
    std::vector<std::string> expected = three;
    expected.insert(expected.end(), {"http://site.example/dir/hero.webp", "HTTPS://cdn.example/i/8f3a?w=800"});
    EXPECT_EQ(x.Lists().ImageURLs.Items(), expected);
    EXPECT_EQ(x.LastResult().addresses, expected);
    EXPECT_EQ(x.Lists().ImageAlts, expected);
    const std::vector<ImageNote>& notes = x.LastResult().notes;
    ASSERT_EQ(notes.size(), expected.size());
    const ImagePlace places[] = {ImagePlace::Page,  ImagePlace::Page,  ImagePlace::Page, ImagePlace::Sheet,
                                 ImagePlace::Frame, ImagePlace::Shown, ImagePlace::Shown};
    for (size_t i = 0; i < notes.size(); ++i) EXPECT_EQ(notes[i].place, places[i]) << expected[i];
    EXPECT_EQ(std::pair(notes[2].width, notes[2].height), std::pair(40, 30));
    EXPECT_EQ(std::pair(notes[4].width, notes[4].height), std::pair(9, 9));
    EXPECT_EQ(std::pair(notes[5].width, notes[5].height), std::pair(640, 360));
    EXPECT_EQ(notes[5].declaredType, "image/webp");
    EXPECT_EQ(x.Lists().ImageNotes.size(), expected.size());

    // A page that cannot tell what it shows leaves the list of the three places.
    page.shown.reset();
    x.LBDocTypeClick(static_cast<int>(DocType::Images));
    EXPECT_EQ(x.Lists().ImageURLs.Items(), three);
}

// An observer is told of every entry of each list as it is appended, and of every style
// sheet before the downloader is asked for it, with the file the downloader is given.
TEST_F(SheetExtractionTest, AnObserverIsToldOfEveryFindAsItIsMade) {
    page.location = "http://site.example/dir/index.html";
    page.source = "<link href=\"s.css\"><img src=\"a.gif\"><embed src=\"m.swf\">";
    page.tree = FrameDocument{page.location, {FrameDocument{"http://other.example/f.html", {}}}};
    page.shown = std::vector<ShownPicture>{{"http://site.example/dir/hero.webp"}, {"http://site.example/dir/A.GIF"}};
    page.links = std::vector<std::string>{"http://site.example/news/index.html", "http://site.example/x.swf",
                                          "http://site.example/m.zip", "http://site.example/dir/m.swf"};
    downloader.bodies["http://site.example/dir/s.css"] = ".x { background: url(bg.png) }\n.y { background: url(intro.swf) }\n";
    http.pages["http://other.example/f.html"] = "<img src=\"f.gif\"><embed src=\"f.swf\">";
    RecordingObserver seen(downloader);
    Extraction told{Observed(w.Services(page, downloader, http, false), seen)};
    seen.lists = &told.Lists();
    told.SetIncludeShownPictures(true);

    using Found = std::map<ListKind, std::vector<std::string>>;
    const struct {
        DocType type;
        ListKind listed;  // the list of the result's addresses
        Found expected;
    } runs[] = {
        {DocType::Images, ListKind::lkImage,
         {{ListKind::lkImage,
           {"http://site.example/dir/a.gif", "http://site.example/dir/bg.png", "http://other.example/f.gif",
            "http://site.example/dir/hero.webp"}}}},
        {DocType::Flash, ListKind::lkFlash,
         {{ListKind::lkFlash,
           {"http://site.example/dir/m.swf", "http://site.example/dir/intro.swf", "http://other.example/f.swf"}}}},
        // The Flash list keeps the movies found before and grows by the new one.
        {DocType::Other, ListKind::lkOther,
         {{ListKind::lkLink, {"http://site.example/news/index.html"}},
          {ListKind::lkFlash, {"http://site.example/x.swf"}},
          {ListKind::lkOther, {"http://site.example/m.zip"}}}},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(static_cast<int>(run.type));
        seen.found.clear();
        seen.sheets.clear();
        downloader.calls.clear();
        const ExtractionResult r = told.ExtractFormWebpage(static_cast<int>(run.type));
        EXPECT_EQ(seen.found, run.expected);
        EXPECT_TRUE(seen.toldLate.empty());
        for (const auto& [kind, entries] : run.expected) {
            const std::vector<std::string>& list = ListOf(told.Lists(), kind).Items();
            ASSERT_GE(list.size(), entries.size());
            EXPECT_EQ(std::vector<std::string>(list.end() - static_cast<std::ptrdiff_t>(entries.size()), list.end()),
                      entries);
        }
        EXPECT_EQ(r.addresses, seen.found[run.listed]);
        // Each sheet is told before its download, with the same file.
        ASSERT_EQ(seen.sheets.size(), run.type == DocType::Other ? 0u : 1u);
        for (const RecordingObserver::Sheet& sheet : seen.sheets) {
            ASSERT_LT(sheet.downloadsBefore, downloader.calls.size());
            EXPECT_EQ(downloader.calls[sheet.downloadsBefore].url, sheet.address);
            EXPECT_EQ(downloader.calls[sheet.downloadsBefore].file, sheet.file);
            EXPECT_EQ(sheet.file, folder + "s.css");
        }
        EXPECT_TRUE(r.errors.empty()) << testing::PrintToString(Texts(r.errors));
    }
}

// Sheets a run keeps in memory are neither fetched nor written, and give what fetching
// them gives: the same finds, in the same order, and the same outcome naming the file
// each stands for. Those not kept whole, or that could not be saved, are fetched.
TEST_F(SheetExtractionTest, SheetsKeptInMemoryGiveWhatFetchedSheetsGive) {
    page.location = "http://site.example/dir/index.html";
    page.source = "<link href=\"kept.css\"><link href=\"fetched.css\"><link href=\"gone.css\"><link href=\"big.css\">"
                  "<link href=\"kept.css?v=2\"><link href=\"css.css/\"><img src=\"a.gif\"><embed src=\"m.swf\">";
    page.tree = FrameDocument{page.location, {}};
    const std::string kept = ".a { background: url(one.png) url(a.gif) }\r\n.b { background: url(m.swf) }\n"
                             ".c { background: url(\"sub/two.JPG\") }\n.d { background: url(x.swf) }";
    const std::string big(kStyleSheetBounds.maxBytes + 1, '.');
    downloader.bodies = {{"http://site.example/dir/kept.css", kept},
                         {"http://site.example/dir/fetched.css", ".e { background: url(three.gif) }\n"},
                         {"http://site.example/dir/big.css", "x"},
                         {"http://site.example/dir/kept.css?v=2", kept}};
    SheetCache cache;
    cache.Keep("http://site.example/dir/kept.css", {kept, 0});
    cache.Keep("http://site.example/dir/kept.css?v=2", {kept, 0});
    cache.Keep("http://site.example/dir/gone.css", {{}, 404, "404"});
    cache.Keep("http://site.example/dir/big.css", {big, 0});
    cache.Keep("http://site.example/dir/css.css/", {kept, 0});
    KeptSheets keptSheets(cache);
    ExtractionServices services = w.Services(page, downloader, http);
    services.keptSheets = &keptSheets;
    Extraction fromMemory{services};

    for (const DocType type : {DocType::Images, DocType::Flash, DocType::Css}) {
        SCOPED_TRACE(static_cast<int>(type));
        std::filesystem::remove_all(folder);
        downloader.calls.clear();
        const ExtractionResult fetched = x.ExtractFormWebpage(static_cast<int>(type));
        const std::size_t fetches = downloader.calls.size();
        std::filesystem::remove_all(folder);
        downloader.calls.clear();
        const ExtractionResult r = fromMemory.ExtractFormWebpage(static_cast<int>(type));

        EXPECT_EQ(r.addresses, fetched.addresses);
        EXPECT_EQ(Places(r.notes), Places(fetched.notes));
        EXPECT_EQ(r.resultHtml, fetched.resultHtml);
        EXPECT_EQ(Texts(r.errors), Texts(fetched.errors));
        ASSERT_EQ(r.styleSheets.size(), fetched.styleSheets.size());
        for (std::size_t i = 0; i < r.styleSheets.size(); ++i) {
            const SavedSheet& a = r.styleSheets[i];
            const SavedSheet& b = fetched.styleSheets[i];
            EXPECT_EQ(std::tuple(a.address, a.outcome.file, a.outcome.attempted, a.outcome.saved, a.outcome.error),
                      std::tuple(b.address, b.outcome.file, b.outcome.attempted, b.outcome.saved, b.outcome.error));
            const bool inMemory = a.address.find("kept.css") != std::string::npos;
            EXPECT_EQ(a.kept != nullptr, inMemory) << a.address;
            if (a.kept) {
                EXPECT_EQ(a.kept->Text(), kept);
            }
        }
        // kept.css, kept.css?v=2 and gone.css are not asked for, and none left a file.
        EXPECT_EQ(downloader.calls.size() + 3, fetches);
        for (const auto& call : downloader.calls) {
            EXPECT_EQ(call.url.find("kept.css"), std::string::npos) << call.url;
            EXPECT_EQ(call.url.find("gone.css"), std::string::npos) << call.url;
        }
        EXPECT_FALSE(std::filesystem::exists(folder + "kept.css"));
        EXPECT_TRUE(std::filesystem::exists(folder + "fetched.css"));
    }
    EXPECT_EQ(x.Lists().ImageURLs.Items(), fromMemory.Lists().ImageURLs.Items());
    EXPECT_EQ(x.Lists().FlashURLs.Items(), fromMemory.Lists().FlashURLs.Items());
}

// An observer that fails neither stops the extraction nor loses an entry or a sheet.
TEST_F(SheetExtractionTest, AFailingObserverIsNotedAndTheExtractionGoesOn) {
    page.location = "http://site.example/index.html";
    page.source = "<link href=\"s.css\"><img src=\"a.gif\"><img src=\"b.gif\">";
    page.tree = FrameDocument{page.location, {}};
    downloader.bodies["http://site.example/s.css"] = ".x { background: url(bg.png) }\n";
    RecordingObserver failing(downloader);
    failing.fail = true;
    Extraction told{Observed(w.Services(page, downloader, http, false), failing)};
    failing.lists = &told.Lists();
    const ExtractionResult r = told.ExtractFormWebpage(static_cast<int>(DocType::Images));
    EXPECT_EQ(r.addresses, (std::vector<std::string>{"http://site.example/a.gif", "http://site.example/b.gif",
                                                     "http://site.example/bg.png"}));
    EXPECT_EQ(told.Lists().ImageNotes.size(), 3u);
    EXPECT_TRUE(std::filesystem::exists(folder + "s.css"));
    EXPECT_EQ(Texts(r.errors),
              (std::vector<std::string>{"observer | http://site.example/a.gif | full",
                                        "observer | http://site.example/b.gif | full",
                                        "observer | http://site.example/s.css | full",
                                        "observer | http://site.example/bg.png | full"}));
}

// What failed during a run is in its result, once, with the step, the address and why;
// the next run starts without it.
TEST_F(ExtractionTest, TheFailuresGotOverAreInTheResult) {
    const std::string at = "http://site.example/";
    const struct {
        const char* what;
        DocType type;
        std::function<void()> spoil;
        std::vector<std::string> errors;
    } cases[] = {
        {"a frame that cannot be fetched", DocType::Images,
         [&] { page.tree = FrameDocument{at, {FrameDocument{"http://gone.example/f.html", {}}}}; },
         {"frame | http://gone.example/f.html | no page at http://gone.example/f.html"}},
        {"frames that cannot be listed", DocType::Flash, [&] { page.tree.reset(); },
         {"frames | " + at + " | no document"}},
        {"a sheet named twice that cannot be fetched", DocType::Css,
         [&] { page.source = "<link href=\"a.css\"><link href=\"a.css\">"; },
         {"style sheet | http://site.example/a.css | offline"}},
        {"a sheet of the images that cannot be fetched", DocType::Flash,
         [&] { page.source = "<link href=\"a.css\">"; }, {"style sheet | http://site.example/a.css | offline"}},
        {"a page source that cannot be read, twice", DocType::Images, [&] { page.source.reset(); },
         {"page source | " + at + " | missing"}},
        {"a page text that cannot be read", DocType::PageText, [&] { page.bodyText.reset(); },
         {"page text | " + at + " | missing"}},
        {"links that cannot be read", DocType::Other, [&] { page.links.reset(); },
         {"links | " + at + " | no document"}},
        {"shown pictures that cannot be read", DocType::Images, [&] { x.SetIncludeShownPictures(true); },
         {"shown pictures | " + at + " | no document"}},
        {"a result page that cannot be shown", DocType::Other, [&] { w.result.browser.rejectLoads = true; },
         {"extraction | " + at + " | cannot load from memory"}},
        {"nothing", DocType::Images, [] {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Load(at, "<img src=\"a.gif\">");
        page.shown.reset();
        x.SetIncludeShownPictures(false);
        w.result.browser.rejectLoads = false;
        c.spoil();
        const ExtractionResult r = x.ExtractFormWebpage(static_cast<int>(c.type));
        EXPECT_EQ(Texts(r.errors), c.errors);
        EXPECT_EQ(Texts(x.LastResult().errors), c.errors);
    }
}

}  // namespace
}  // namespace nuv
