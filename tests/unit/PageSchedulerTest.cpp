#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/logic/PageScheduler.h"
#include "cli/logic/RunPrinter.h"

namespace nuv {
namespace {

// A run told what happens to its pages, one letter an event: n asks for the next page
// ("0".."9" started, "-" none), l a page left the engine, d downloads started, e they
// ended, f a page finished, s the run stopped, E asks whether the run ends ("E" or "·").
std::string Replay(std::size_t pages, std::size_t jobs, const std::string& events) {
    PageScheduler s(pages, jobs);
    std::string seen;
    for (char c : events) {
        switch (c) {
            case 'n': {
                const std::optional<std::size_t> next = s.Next();
                seen += next ? std::to_string(*next) : "-";
                break;
            }
            case 'l': s.LeftEngine(); break;
            case 'd': s.DownloadsStarted(); break;
            case 'e': s.DownloadsEnded(); break;
            case 'f': s.Finished(); break;
            case 's': s.Stop(); break;
            case 'E': seen += s.TakeEnd() ? "E" : "."; break;
        }
    }
    return seen;
}

TEST(PageScheduler, StartsWithinItsBoundsAndEndsOnce) {
    struct Case {
        std::size_t pages, jobs;
        std::string events, seen;
    } cases[] = {
        {3, 2, "nnn", "01-"},                      // two in the engine at a time
        {3, 2, "nnlnfEffE", "012.E"},               // a third once one left; the end when all printed
        {2, 1, "nlfEnlfEE", "0.1E."},               // the end is taken once
        {10, 1, "nldnldnldnldn", "0123-"},          // 1 job: no page starts while 4 wait for downloads
        {10, 1, "nldnldnldnldnenE", "0123-4."},    // one download ended: the next starts
        {3, 3, "nnsnllffE", "01-."},               // stopped: nothing starts, the run never ends by itself
        {0, 4, "nE", "-E"},                        // no page: the run ends at once
        {2, 0, "nn", "0-"},                        // no jobs counts as one
    };
    for (const Case& c : cases) EXPECT_EQ(Replay(c.pages, c.jobs, c.events), c.seen) << c.events;
}

std::string Read(std::FILE* f) {
    std::string text;
    std::rewind(f);
    for (int ch; (ch = std::fgetc(f)) != EOF;) text += static_cast<char>(ch);
    return text;
}

TEST(RunPrinter, PrintsPagesErrorsAndTheEnd) {
    ExtractCliOptions options;
    options.verbose = true;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ASSERT_TRUE(out && err);
    CliReport page;
    page.requested = page.pageAddress = "http://h/p.html";
    page.list = {"http://h/a.png"};
    page.errors = {{"frame", "http://h/f.html", "HTTP 404"}};
    page.times.load = 5;
    page.engine = "static";
    page.records = {{"http://h/a.png", DownloadRecord::Outcome::Failed, "/s/a.png", 0, "HTTP 500\x1b[2J"}};
    CliReport gone;
    gone.requested = "http://gone/";
    gone.loadError = "connection failed (-102)";
    {
        RunPrinter list(options, true, false, out, err);
        EXPECT_TRUE(list.Page(page, {{"http://h/f.html"}, 3, true, 7}));
        EXPECT_TRUE(list.Page(gone, {}));
        EXPECT_EQ(list.End(), 1);  // a page not loaded comes before a failed download
    }
    EXPECT_EQ(Read(out), "==> http://h/p.html <==\nhttp://h/a.png\n");
    EXPECT_EQ(Read(err),
              "http://h/p.html: frame: http://h/f.html\n"
              "http://h/p.html: engine: static\n"
              "http://h/p.html: timing: page loaded after 5 ms; extraction started 3 ms after the load (every frame "
              "reported); extraction 7 ms; downloads 0 ms\n"
              "error: frame: http://h/f.html: HTTP 404\n"
              "nuv-extract: download failed: http://h/a.png: HTTP 500\\x1b[2J\n"
              "nuv-extract: cannot load http://gone/: connection failed (-102)\n"
              "pages: 2, done 1, not loaded 1; images: found 1, downloaded 0, failed 1\n");
    std::fclose(out);
    std::fclose(err);

    // An output nobody reads ends a list run and makes its status that of a page not loaded.
    std::FILE* closed = std::fopen("/dev/full", "w");
    std::FILE* quiet = std::tmpfile();
    ASSERT_TRUE(closed && quiet);
    RunPrinter one(ExtractCliOptions{}, true, false, closed, quiet);
    EXPECT_FALSE(one.Page(page, {}));
    EXPECT_EQ(one.End(), 1);
    EXPECT_NE(Read(quiet).find("nuv-extract: cannot write the output\n"), std::string::npos);
    std::fclose(closed);
    std::fclose(quiet);

    // Pages that share a failed picture tell its failure once; -v tells it for each page.
    for (const bool verbose : {false, true}) {
        options.verbose = verbose;
        std::FILE* sink = std::tmpfile();
        std::FILE* told = std::tmpfile();
        ASSERT_TRUE(sink && told);
        RunPrinter shared(options, true, false, sink, told);
        CliReport other = page;
        other.records.push_back({"http://h/b.png", DownloadRecord::Outcome::Failed, "/s/b.png", 0, "HTTP 404"});
        for (const CliReport* p : {&page, &other, &page}) EXPECT_TRUE(shared.Page(*p, {}));
        const std::string text = Read(told);
        std::size_t lines = 0;
        for (std::size_t at = 0; (at = text.find("download failed: http://h/a.png", at)) != std::string::npos; ++at) ++lines;
        EXPECT_EQ(lines, verbose ? 3u : 1u);
        EXPECT_NE(text.find("download failed: http://h/b.png: HTTP 404\n"), std::string::npos);
        std::fclose(sink);
        std::fclose(told);
    }
}

}  // namespace
}  // namespace nuv
