#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/logic/CliJson.h"
#include "cli/logic/CliOutput.h"
#include "cli/logic/ExtractCli.h"
#include "cli/logic/CookieFile.h"
#include "cli/logic/PageBatch.h"

namespace nuv {
namespace {

// ---- Command line ----

struct GoodLine {
    std::vector<std::string> args;
    DocType type;
    bool download, json, quiet;
    std::string saveTo;
    int timeoutMs;
    std::string address;
};

TEST(ExtractCliArguments, AcceptsEveryFormOfEveryOption) {
    const std::vector<GoodLine> cases = {
        {{"a.example"}, DocType::Images, false, false, false, "", 60000, "a.example"},
        {{"-t", "css", "a"}, DocType::Css, false, false, false, "", 60000, "a"},
        {{"-tSOURCE", "a"}, DocType::PageSource, false, false, false, "", 60000, "a"},
        {{"--type", "text", "a"}, DocType::PageText, false, false, false, "", 60000, "a"},
        {{"--type=flash", "a"}, DocType::Flash, false, false, false, "", 60000, "a"},
        {{"a", "-t", "other"}, DocType::Other, false, false, false, "", 60000, "a"},
        {{"-dq", "--json", "a"}, DocType::Images, true, true, true, "", 60000, "a"},
        {{"-dqo", "out dir", "a"}, DocType::Images, true, false, true, "out dir", 60000, "a"},
        {{"--save-to=/x/y", "--download", "--quiet", "a"}, DocType::Images, true, false, true, "/x/y", 60000, "a"},
        {{"-o", "-d", "a"}, DocType::Images, false, false, false, "-d", 60000, "a"},  // a value is taken as it is
        {{"--timeout", "2.5", "a"}, DocType::Images, false, false, false, "", 2500, "a"},
        {{"--timeout=0.0001", "a"}, DocType::Images, false, false, false, "", 1, "a"},
        {{"--", "-odd-name"}, DocType::Images, false, false, false, "", 60000, "-odd-name"},
        {{"-t", "images", "-t", "flash", "a"}, DocType::Flash, false, false, false, "", 60000, "a"},
    };
    for (const GoodLine& c : cases) {
        const CliParseResult r = ParseExtractCliArguments(c.args);
        SCOPED_TRACE(c.args.front());
        ASSERT_EQ(r.error, "");
        EXPECT_EQ(r.options.type, c.type);
        EXPECT_EQ(r.options.download, c.download);
        EXPECT_EQ(r.options.json, c.json);
        EXPECT_EQ(r.options.quiet, c.quiet);
        EXPECT_EQ(r.options.saveTo, c.saveTo);
        EXPECT_EQ(r.options.timeoutMs, c.timeoutMs);
        EXPECT_EQ(r.options.address, c.address);
        EXPECT_EQ(r.options.verbose, false);
    }
    EXPECT_TRUE(ParseExtractCliArguments({"-dv", "a"}).options.verbose);
    EXPECT_TRUE(ParseExtractCliArguments({"--verbose", "a"}).options.verbose);
    // Scrolling brings the pictures a page shows; --scroll-limit scrolls.
    const ExtractCliOptions scrolled = ParseExtractCliArguments({"--scroll", "a"}).options;
    EXPECT_TRUE(scrolled.scroll && scrolled.shown && !StaticEngineFits(scrolled));
    EXPECT_EQ(scrolled.scrollLimitMs, 30000);
    const ExtractCliOptions limited = ParseExtractCliArguments({"-t", "other", "--scroll-limit=2.5", "a"}).options;
    EXPECT_TRUE(limited.scroll && !limited.shown && !StaticEngineFits(limited));
    EXPECT_EQ(limited.scrollLimitMs, 2500);
    // Only a static run over web addresses alone goes without the window system.
    const std::pair<std::vector<std::string>, bool> engineless[] = {
        {{"--engine", "static", "http://a/", " https://b/x"}, true},
        {{"--engine", "static", "-t", "css", "https://b/"}, true},
        {{"--engine", "static", "http://a/", "a.example"}, false},
        {{"--engine", "static", "HTTP://a/"}, false},
        {{"--engine", "static", "./page.html"}, false},
        {{"--engine", "static", "-i", "list.txt"}, false},
        {{"--engine", "auto", "http://a/"}, false},
        {{"http://a/"}, false},
    };
    for (const auto& [arguments, expected] : engineless)
        EXPECT_EQ(RunNeedsNoEngine(ParseExtractCliArguments(arguments).options), expected) << arguments.back();
}

TEST(ExtractCliArguments, RefusesUnusableLinesWithAReason) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "no ADDRESS given"},
        {{"-d"}, "no ADDRESS given"},
        {{"  "}, "the ADDRESS is empty"},
        {{"-x", "a"}, "unknown option -x"},
        {{"-dx", "a"}, "unknown option -x"},
        {{"--typo", "a"}, "unknown option --typo"},
        {{"--json=yes", "a"}, "--json takes no value"},
        {{"-t", "video", "a"}, "unknown type 'video' for -t (one of source, text, images, flash, css, other)"},
        {{"a", "-t"}, "-t needs a value"},
        {{"a", "--timeout"}, "--timeout needs a value"},
        {{"--timeout", "0", "a"}, "--timeout needs a positive number of seconds, not '0'"},
        {{"--timeout", "-3", "a"}, "--timeout needs a positive number of seconds, not '-3'"},
        {{"--timeout=1e3", "a"}, "--timeout needs a positive number of seconds, not '1e3'"},
        {{"--timeout", "99999999", "a"}, "--timeout needs a positive number of seconds, not '99999999'"},
        {{"--timeout", "nan", "a"}, "--timeout needs a positive number of seconds, not 'nan'"},
        {{"-o", "", "a"}, "-o needs a folder"},
        {{"--retries", "-1", "a"}, "--retries needs a number of tries again from 0 to 20, not '-1'"},
        {{"--wait", "0", "a"}, "--wait needs a positive number of seconds, not '0'"},
        {{"--limit-rate", "fast", "a"}, "--limit-rate needs bytes a second such as 500k or 2M, not 'fast'"},
        {{"--limit-rate", "0.5", "a"}, "--limit-rate needs bytes a second such as 500k or 2M, not '0.5'"},
        {{"--proxy", "ftp://p:21", "a"}, "--proxy: the proxy needs http://, https://, socks5:// or socks5h:// HOST:PORT"},
        {{"--proxy", "http://p:1 --no-sandbox", "a"},
         "--proxy: the proxy address holds a space, a control character or a byte beyond ASCII"},
        {{"--proxy", "socks5://user@:1080", "a"}, "--proxy: the proxy address names no host"},
        {{"--user-agent", "A\r\nX-Forged: 1", "a"}, "--user-agent needs a text without control characters"},
        {{"--cookies-from-browser", "firefox:", "a"}, "--cookies-from-browser: needs a profile after ':'"},
        {{"--engine", "fast", "a"}, "unknown engine 'fast' for --engine (one of auto, static, browser)"},
        {{"--engine=static", "-t", "text", "a"}, "--engine static reads no page text or scrolled pages; use auto or browser"},
        {{"--engine", "static", "-t", "other", "--scroll", "a"},
         "--engine static reads no page text or scrolled pages; use auto or browser"},
        {{"--scroll-limit", "0", "a"}, "--scroll-limit needs a positive number of seconds, not '0'"},
        {{"--scroll=1", "a"}, "--scroll takes no value"},
    };
    for (const auto& [args, error] : cases) {
        EXPECT_EQ(ParseExtractCliArguments(args).error, error);
    }
}

TEST(ExtractCliArguments, NetworkOptions) {
    const ExtractCliOptions o =
        ParseExtractCliArguments({"--retries=0", "--wait", "1.5", "--random-wait", "--limit-rate", "1.5M", "--proxy",
                                  "socks5h://u:p@127.0.0.1:1080", "--user-agent", "Agent/1 (x)", "a"})
            .options;
    EXPECT_EQ(o.retries, 0);
    EXPECT_EQ(o.waitMs, 1500);
    EXPECT_TRUE(o.randomWait);
    EXPECT_EQ(o.limitRate, 1572864u);
    EXPECT_EQ(o.proxy, "socks5h://u:p@127.0.0.1:1080");
    EXPECT_EQ(EngineProxyServer(o.proxy), "socks5://u:p@127.0.0.1:1080");
    EXPECT_EQ(EngineProxyServer("https://p:3128"), "https://p:3128");
    EXPECT_EQ(o.userAgent, "Agent/1 (x)");
    const ExtractCliOptions defaults = ParseExtractCliArguments({"a"}).options;
    EXPECT_EQ(defaults.retries, kDefaultRetries);
    EXPECT_EQ(ParseExtractCliArguments({"--limit-rate", "500k", "a"}).options.limitRate, 512000u);
    EXPECT_EQ(ParseExtractCliArguments({"--limit-rate", "2000", "a"}).options.limitRate, 2000u);
    EXPECT_EQ(defaults.waitMs, 0);
    EXPECT_EQ(defaults.limitRate, 0u);
}

// The options of what is saved: --dedup takes its mode after it only when it is one, and
// --zip downloads instead of a folder.
TEST(ExtractCliArguments, SavingOptions) {
    struct Case {
        std::vector<std::string> args;
        DedupMode dedup;
        std::string address;  // the first, or the error
    };
    const std::vector<Case> cases = {
        {{"-d", "--dedup", "a"}, DedupMode::Exact, "a"},
        {{"-d", "--dedup", "similar", "a"}, DedupMode::Similar, "a"},
        {{"-d", "--dedup=similar", "similar"}, DedupMode::Similar, "similar"},
        {{"-d", "--dedup", "exact", "a"}, DedupMode::Exact, "a"},
        {{"--zip", "x.cbz", "--dedup", "a"}, DedupMode::Exact, "a"},
        {{"-d", "--dedup=same", "a"}, DedupMode::None, "unknown mode 'same' for --dedup (exact or similar)"},
        {{"--dedup", "a"}, DedupMode::None, "--name and --dedup are for what is saved: only with -d or --zip"},
        {{"--name={index}", "a"}, DedupMode::None, "--name and --dedup are for what is saved: only with -d or --zip"},
        {{"--zip", "x.zip", "-o", "out", "a"}, DedupMode::None, "--zip and -o exclude each other: the files go into the ZIP file"},
        {{"-d", "--name", "{index:99}", "a"}, DedupMode::None, "--name: {index:99}: the width is a number from 1 to 32 (\"03\" pads with zeros)"},
    };
    for (const Case& c : cases) {
        const CliParseResult r = ParseExtractCliArguments(c.args);
        SCOPED_TRACE(c.args[1]);
        EXPECT_EQ(r.error.empty() ? r.options.address : r.error, c.address);
        if (r.error.empty()) {
            EXPECT_EQ(r.options.dedup, c.dedup);
        }
    }
    const ExtractCliOptions zip = ParseExtractCliArguments({"--zip", "x.zip", "a"}).options;
    EXPECT_TRUE(zip.download);
    EXPECT_EQ(zip.zip, "x.zip");
}

TEST(ExtractCliArguments, CookieFilesAsCurlAndBrowserAddOnsWriteThem) {
    const std::string file =
        "# Netscape HTTP Cookie File\n"
        "\n"
        ".shop.example\tTRUE\t/\tTRUE\t0\tsession\tabc=1\r\n"
        "#HttpOnly_login.example\tFALSE\t/account\tFALSE\t4102444800\tid\t42\n"
        "old.example\tFALSE\t/\tFALSE\t1000\tgone\tx\n"    // expired
        "bad.example\tMAYBE\t/\tFALSE\t0\tn\tv\n"          // not a flag
        "short.example\tFALSE\t/\n"                           // too few fields
        "ctl.example\tFALSE\t/\tFALSE\t0\tn\tv\x01\n";       // a control character
    std::size_t skipped = 0;
    const std::vector<FileCookie> c = ParseCookieFile(file, 2000000000, &skipped);
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(skipped, 3u);
    EXPECT_EQ(c[0].domain, "shop.example");
    EXPECT_TRUE(c[0].subdomains);
    EXPECT_TRUE(c[0].secure);
    EXPECT_EQ(c[0].value, "abc=1");
    EXPECT_FALSE(c[0].httpOnly);
    EXPECT_EQ(c[1].domain, "login.example");
    EXPECT_FALSE(c[1].subdomains);
    EXPECT_EQ(c[1].path, "/account");
    EXPECT_EQ(c[1].expires, 4102444800);
    EXPECT_TRUE(c[1].httpOnly);
    EXPECT_EQ(ParseExtractCliArguments({"--cookies", "c.txt", "a"}).options.cookies, "c.txt");
    const auto browser = ParseExtractCliArguments({"--cookies-from-browser=chromium:Profile 1", "a"}).options.cookiesFromBrowser;
    ASSERT_TRUE(browser);
    EXPECT_EQ(browser->browser + "|" + browser->profile, "chromium|Profile 1");
}

TEST(ExtractCliArguments, HelpAndVersionNeedNoAddress) {
    EXPECT_TRUE(ParseExtractCliArguments({"-h"}).options.help);
    EXPECT_EQ(ParseExtractCliArguments({"--help"}).error, "");
    EXPECT_TRUE(ParseExtractCliArguments({"--version"}).options.version);
    // A broken line is still reported when help is asked for after it.
    EXPECT_EQ(ParseExtractCliArguments({"--nope", "--help"}).error, "unknown option --nope");
}

TEST(ExtractCliArguments, TypeNamesRoundTrip) {
    for (int i = 0; i < 6; ++i) {
        const auto type = static_cast<DocType>(i);
        EXPECT_EQ(CliTypeFromName(CliTypeName(type)), type);
    }
    EXPECT_EQ(CliTypeFromName("Images"), DocType::Images);
    EXPECT_EQ(CliTypeFromName("image"), std::nullopt);
    EXPECT_EQ(CliTypeFromName(""), std::nullopt);
}

TEST(ExtractCliArguments, UsageNamesEveryOptionAndVersionTheProduct) {
    const std::string usage = ExtractCliUsage();
    for (const char* option : {"-t, --type TYPE", "-o, --save-to DIR", "-d, --download", "--json", "--timeout SEC",
                               "-q, --quiet", "-v, --verbose", "-h, --help", "--version", "source | text | images | flash | css | other",
                               "--retries N", "--wait SEC", "--random-wait", "--limit-rate RATE", "--proxy URL",
                               "--user-agent TEXT", "--cookies FILE", "--cookies-from-browser BROWSER[:PROFILE]",
                               "--no-robots", "--engine WHICH"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
    EXPECT_EQ(ExtractCliVersion(), "nuv-extract (NUV网页提取助手) 2.2\n");
}

// ---- Address ----

TEST(ExtractCliAddress, CompletesLikeTheAddressBoxAndOpensLocalPaths) {
    const std::set<std::string> files = {"page.html", "sub/p.htm"};
    const auto isFile = [&](const std::string& p) { return files.count(p) > 0; };
    struct Case {
        std::string argument;
        std::string address;
        bool local;
    };
    const std::vector<Case> cases = {
        {"site.example/a.htm", "http://site.example/a.htm", false},
        {"  http://site.example/  ", "http://site.example/", false},
        {"HTTPS://site.example/", "HTTPS://site.example/", false},
        {"file:///tmp/x.html", "file:///tmp/x.html", false},
        {"/var/www/a.html", "/var/www/a.html", true},
        {"/var/www/../x/./a.html", "/var/x/a.html", true},
        {"./page.html", "/home/u/page.html", true},
        {"./missing.html", "/home/u/missing.html", true},  // the browser reports it missing
        {"../up.html", "/home/up.html", true},
        {"../../../../etc", "/etc", true},
        {"page.html", "/home/u/page.html", true},
        {"sub/p.htm", "/home/u/sub/p.htm", true},
        {"other.html", "http://other.html", false},  // no such file: a host name
        {"localhost:8080/page.html", "http://localhost:8080/page.html", false},
    };
    for (const Case& c : cases) {
        const CliAddress a = PrepareCliAddress(c.argument, "/home/u", isFile);
        EXPECT_EQ(a.address, c.address) << c.argument;
        EXPECT_EQ(a.localFile, c.local) << c.argument;
    }
}

// ---- Downloads ----

TEST(ExtractCliDownloads, KeepTheResultWindowsFileNamesAndSkips) {
    struct Case {
        DocType type;
        std::string address;
        std::string file;
        std::string skip;
    };
    const std::vector<Case> cases = {
        {DocType::Images, "http://host/pics/a.jpg", "/s/a.jpg", ""},
        {DocType::Images, "http://host/img/b.png?v=2", "/s/b.png?v=2", ""},
        {DocType::Images, "http://host/show.asp?id=1.png", "", "web page"},
        {DocType::Images, "http://host/files/x.zip", "", "archive or program"},
        {DocType::Flash, "http://img.tarot.example/a.swf", "", "archive or program"},
        {DocType::Other, "http://host/files/x.zip", "/s/x.zip", ""},
        {DocType::Other, "http://host/setup.EXE", "/s/setup.EXE", ""},
        {DocType::Other, "http://host/page.php?f=x.zip", "", "web page"},
        {DocType::Other, "http://host/dir/", "", "no file name in the address"},
        {DocType::Other, "http://host/dir/..", "", "no file name in the address"},
        {DocType::Css, "http://host/style/site.css", "/s/site.css", ""},
    };
    for (const Case& c : cases) {
        const PlannedDownload p = PlanDownload(c.type, "/s/", c.address);
        EXPECT_EQ(p.file, c.file) << c.address;
        EXPECT_EQ(p.skipReason, c.skip) << c.address;
    }
}

// ---- Output ----

CliReport SampleListReport() {
    CliReport r;
    r.pageAddress = "http://h/index.html";
    r.type = DocType::Images;
    r.list = {"http://h/a.png", "http://h/b \"q\".png"};
    return r;
}

TEST(ExtractCliOutput, PlainListsAndTexts) {
    EXPECT_EQ(FormatPlainOutput(SampleListReport()), "http://h/a.png\nhttp://h/b \"q\".png\n");
    CliReport text;
    text.type = DocType::PageText;
    text.text = "Title\r\nline";
    EXPECT_EQ(FormatPlainOutput(text), "Title\r\nline\n");
    text.text = "ends\n";
    EXPECT_EQ(FormatPlainOutput(text), "ends\n");
    text.text = "";
    EXPECT_EQ(FormatPlainOutput(text), "");
    CliReport empty;
    EXPECT_EQ(FormatPlainOutput(empty), "");
}

TEST(ExtractCliOutput, JsonDocumentsExactly) {
    CliReport r = SampleListReport();
    EXPECT_EQ(FormatJsonOutput(r),
              "{\"address\":\"http://h/index.html\",\"type\":\"images\","
              "\"list\":[\"http://h/a.png\",\"http://h/b \\\"q\\\".png\"]}\n");

    r.downloaded = true;
    r.records = {{"http://h/a.png", DownloadRecord::Outcome::Saved, "/s/a.png", 1234, ""},
                 {"http://h/b.png", DownloadRecord::Outcome::Failed, "/s/b.png", 0, "HTTP 404"},
                 {"http://h/c.php", DownloadRecord::Outcome::Skipped, "", 0, "web page"},
                 {"http://h/d/", DownloadRecord::Outcome::Failed, "", 0, "no route"}};
    r.list.clear();
    EXPECT_EQ(FormatJsonOutput(r),
              "{\"address\":\"http://h/index.html\",\"type\":\"images\",\"list\":[],\"downloads\":["
              "{\"address\":\"http://h/a.png\",\"outcome\":\"saved\",\"file\":\"/s/a.png\",\"size\":1234},"
              "{\"address\":\"http://h/b.png\",\"outcome\":\"failed\",\"file\":\"/s/b.png\",\"error\":\"HTTP 404\"},"
              "{\"address\":\"http://h/c.php\",\"outcome\":\"skipped\",\"reason\":\"web page\"},"
              "{\"address\":\"http://h/d/\",\"outcome\":\"failed\",\"error\":\"no route\"}]}\n");
    // --jsonl describes each download exactly so.
    const auto downloadsOf = [](const std::string& json) {
        const size_t at = json.find("\"downloads\":");
        return json.substr(at, json.find(']', at) + 1 - at);
    };
    EXPECT_EQ(downloadsOf(FormatJsonLine(r)), downloadsOf(FormatJsonOutput(r)));

    // What the bounds cut is said only when there was a cut; -v says it in one line.
    EXPECT_EQ(FormatCut(r.cut), "");
    r.cut = {12, 40000, 0};
    EXPECT_NE(FormatJsonOutput(r).find("\"list\":[],\"cut\":{\"documents\":12,\"shown_pictures\":40000,\"links\":0},"
                                       "\"downloads\":["),
              std::string::npos);
    EXPECT_EQ(FormatCut(r.cut), "cut: 12 documents, 40000 shown pictures, 0 links beyond the bounds\n");

    CliReport text;
    text.pageAddress = "file:///p.html";
    text.type = DocType::PageSource;
    text.text = "<p>\n";
    text.downloaded = true;
    EXPECT_EQ(FormatJsonOutput(text),
              "{\"address\":\"file:///p.html\",\"type\":\"source\",\"text\":\"<p>\\n\",\"downloads\":[]}\n");
}

TEST(ExtractCliOutput, JsonStringsAreAlwaysValid) {
    EXPECT_EQ(JsonString(""), "\"\"");
    EXPECT_EQ(JsonString("a\"b\\c/d"), "\"a\\\"b\\\\c/d\"");
    EXPECT_EQ(JsonString("\n\r\t\b\f"), "\"\\n\\r\\t\\b\\f\"");
    EXPECT_EQ(JsonString(std::string("\x01\x1f\x7f", 3)), "\"\\u0001\\u001f\\u007f\"");
    EXPECT_EQ(JsonString(std::string("a\0b", 3)), "\"a\\u0000b\"");
    // Valid UTF-8 passes unchanged, 2-, 3- and 4-byte forms.
    EXPECT_EQ(JsonString("é图片😀"), "\"é图片😀\"");
    // Invalid bytes become U+FFFD: a lone continuation byte, a truncated sequence,
    // an overlong form, a surrogate, a code point past U+10FFFF, GBK bytes.
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(JsonString("\x80"), "\"" + fffd + "\"");
    EXPECT_EQ(JsonString("a\xE5\x9B"), "\"a" + fffd + "\"");  // a truncated sequence is one
    // Characters that end a line for some readers or steer a terminal are escaped.
    EXPECT_EQ(JsonString("a\xE2\x80\xA8" "b\xE2\x80\xA9\xC2\x9B\x1b"), "\"a\\u2028b\\u2029\\u009b\\u001b\"");
    EXPECT_EQ(JsonString("\xC0\xAF"), "\"" + fffd + fffd + "\"");
    EXPECT_EQ(JsonString("\xED\xA0\x80"), "\"" + fffd + fffd + fffd + "\"");
    EXPECT_EQ(JsonString("\xF4\x90\x80\x80"), "\"" + fffd + fffd + fffd + fffd + "\"");
    EXPECT_EQ(JsonString("\xB9\xFA"), "\"" + fffd + fffd + "\"");
}

TEST(ExtractCliOutput, SummaryAndExitStatus) {
    CliReport r = SampleListReport();
    EXPECT_EQ(FormatSummary(r), "images: found 2, downloaded 0, failed 0\n");
    EXPECT_EQ(ExitStatusOf(r), CliExit::Ok);

    r.downloaded = true;
    r.records = {{"a", DownloadRecord::Outcome::Saved, "/s/a", 1, ""},
                 {"b", DownloadRecord::Outcome::Skipped, "", 0, "web page"}};
    EXPECT_EQ(FormatSummary(r), "images: found 2, downloaded 1, failed 0, skipped 1\n");
    EXPECT_EQ(ExitStatusOf(r), CliExit::Ok);  // a skipped address is not a failure

    r.records.push_back({"c", DownloadRecord::Outcome::Failed, "/s/c", 0, "refused"});
    EXPECT_EQ(FormatSummary(r), "images: found 2, downloaded 1, failed 1, skipped 1\n");
    EXPECT_EQ(ExitStatusOf(r), CliExit::DownloadsFailed);
    EXPECT_EQ(static_cast<int>(CliExit::DownloadsFailed), 3);

    CliReport text;
    text.type = DocType::PageText;
    text.text = "图片";
    EXPECT_EQ(FormatSummary(text), "text: 6 bytes\n");
}

TEST(ExtractCliOutput, ProgressBar) {
    EXPECT_EQ(FormatProgressBar(0, 100, 10, "loading"), "[..........]   0% loading");
    EXPECT_EQ(FormatProgressBar(35, 100, 10, "x"), "[###.......]  35% x");
    EXPECT_EQ(FormatProgressBar(100, 100, 10, ""), "[##########] 100%");
    EXPECT_EQ(FormatProgressBar(250, 200, 4, ""), "[####] 100%");   // clamped
    EXPECT_EQ(FormatProgressBar(-5, 200, 4, ""), "[....]   0%");
    EXPECT_EQ(FormatProgressBar(7, 0, 4, "unknown"), "[....]      unknown");
    // Positions near the 64-bit limit neither overflow nor overshoot.
    EXPECT_EQ(FormatProgressBar(1000000000000000000, 4000000000000000000, 10, ""), "[##........]  25%");
    EXPECT_EQ(FormatProgressBar(INT64_MAX, INT64_MAX, 10, ""), "[##########] 100%");
}

}  // namespace
}  // namespace nuv
