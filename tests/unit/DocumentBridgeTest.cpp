#include "web/DocumentBridge.h"

#include <gtest/gtest.h>

#include "support/FakeBrowser.h"

namespace nuv {
namespace {

using test::FakeBrowser;

TEST(DocumentBridge, LoadHtmlWaitsUntilInteractiveAndEndsEveryLineWithCrLf) {
    FakeBrowser b;
    b.readyStates = {ready_state::kLoading, ready_state::kLoading, ready_state::kLoaded, ready_state::kInteractive};
    LoadHtml(b, "<p>\nx\r\ny\rz");
    EXPECT_EQ(b.eventsProcessed, 3);
    ASSERT_EQ(b.loaded.size(), 1u);
    EXPECT_EQ(b.loaded[0], "<p>\r\nx\r\ny\r\nz\r\n");

    LoadHtml(b, "");
    EXPECT_EQ(b.loaded.back(), "");
}

TEST(DocumentBridge, LoadHtmlWithoutDocumentDoesNothingAndALoadFailureReachesTheCaller) {
    FakeBrowser none;
    none.hasDocument = false;
    LoadHtml(none, "<p>");
    EXPECT_TRUE(none.loaded.empty());

    FakeBrowser rejecting;
    rejecting.rejectLoads = true;
    EXPECT_THROW(LoadHtml(rejecting, "<p>"), BrowserError);
}

TEST(DocumentBridge, LoadHtmlWaitEndsWhenTheProgramQuitsOrTheLimitPasses) {
    FakeBrowser quitting;
    quitting.readyStates = std::vector<int>(1000, ready_state::kLoading);
    quitting.onProcessEvents = [&] { quitting.closed = quitting.eventsProcessed == 5; };
    EXPECT_THROW(LoadHtml(quitting, "<p>"), BrowserError);
    EXPECT_EQ(quitting.eventsProcessed, 5);

    FakeBrowser stuck;
    stuck.readyStates = std::vector<int>(1000000, ready_state::kLoading);
    EXPECT_THROW(LoadHtml(stuck, "<p>", std::chrono::milliseconds(0)), BrowserError);
    EXPECT_TRUE(stuck.loaded.empty());
}

TEST(DocumentBridge, ReadsGiveEmptyTextOnAnyFailure) {
    FakeBrowser b;
    b.location = "http://site.example/";
    b.title = "A";
    b.bodyText = "B";
    b.source = "<html><body>B</body></html>";
    EXPECT_EQ(GetPageAddress(b), "http://site.example/");
    EXPECT_EQ(GetPageText(b), "AB");
    EXPECT_EQ(GetPageSource(b), "<html><body>B</body></html>");

    b.title = "";
    EXPECT_EQ(GetPageText(b), "B");  // no title: the body text alone
    b.bodyText.reset();
    EXPECT_EQ(GetPageText(b), "");  // no body
    b.source.reset();
    EXPECT_EQ(GetPageSource(b), "");
    b.failLocation = true;
    EXPECT_EQ(GetPageAddress(b), "");
}

TEST(DocumentBridge, ListFrameAddressesWalksDepthFirstAndDropsTheTopDocument) {
    FakeBrowser b;
    b.tree = FrameDocument{"http://a.example/",
                           {FrameDocument{"http://a.example/f1", {FrameDocument{"http://a.example/inner", {}}}},
                            FrameDocument{"http://b.example/f2", {}}}};
    std::vector<std::string> list = {"stale"};
    ListFrameAddresses(b, list);
    EXPECT_EQ(list, (std::vector<std::string>{"http://a.example/f1", "http://a.example/inner",
                                              "http://b.example/f2"}));

    b.tree = FrameDocument{"http://a.example/", {}};
    ListFrameAddresses(b, list);
    EXPECT_TRUE(list.empty());
}

TEST(DocumentBridge, ListFrameAddressesReportsFailuresAndKeepsWhatItGathered) {
    FakeBrowser none;
    std::vector<std::string> list = {"stale"};
    EXPECT_THROW(ListFrameAddresses(none, list), BrowserError);
    EXPECT_TRUE(list.empty());

    FakeBrowser partial;
    FrameDocument broken{"http://a.example/broken", {}};
    broken.failed = true;
    partial.tree = FrameDocument{"http://a.example/", {FrameDocument{"http://a.example/f1", {}}, broken,
                                                       FrameDocument{"http://a.example/f3", {}}}};
    EXPECT_THROW(ListFrameAddresses(partial, list), BrowserError);
    EXPECT_EQ(list, (std::vector<std::string>{"http://a.example/", "http://a.example/f1"}));
}

TEST(DocumentBridge, ForEachFrameDocumentStopsWhenTheVisitorSaysSo) {
    const FrameDocument tree{"t", {FrameDocument{"a", {FrameDocument{"a1", {}}}}, FrameDocument{"b", {}}}};
    std::vector<std::string> seen;
    const bool ran = ForEachFrameDocument(
        &tree,
        [&](const FrameDocument& d, void*) {
            seen.push_back(d.url);
            return d.url != "a1";
        },
        nullptr);
    EXPECT_FALSE(ran);
    EXPECT_EQ(seen, (std::vector<std::string>{"t", "a", "a1"}));
    EXPECT_TRUE(ForEachFrameDocument(nullptr, [](const FrameDocument&, void*) { return false; }, nullptr));
}

}  // namespace
}  // namespace nuv
