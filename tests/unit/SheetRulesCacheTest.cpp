#include "web/SheetRulesCache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "web/SheetCache.h"
#include "web/StaticBrowser.h"
#include "web/StaticDocument.h"

namespace nuv {
namespace {

using Sheets = std::map<std::string, std::string>;

const Sheets kSite = {
    {"http://a.test/css/site.css",
     "@layer base, theme; @import url(parts.css) layer(base); .logo{background-image:url(logo.png)}"
     "@media print{.logo{background-image:url(print.png)}} .Big{border-image-source:url(big.png)}"},
    {"http://a.test/css/parts.css", "@layer theme{.part{background-image:url(theme.png)}} .part{background:url(p.png)}"},
    {"http://a.test/css/frag.css", ".m{mask-image:url(#mask)} .m2{mask-image:url(m.svg#mask)}"},
    {"http://a.test/css/wide.css", "@media (min-width: 1px){.wide{background-image:url(wide.png)}}"},
    {"http://a.test/one/local.css", "@import url(../css/parts.css); .local{background-image:url(l1.png)}"},
    {"http://a.test/two/local.css", ".local{background-image:url(l2.png)}"}};

Sheets With(Sheets sheets, const Sheets& more) {
    for (const auto& [address, text] : more) sheets[address] = text;
    return sheets;
}

struct Document {
    std::string name, url, html;
    Sheets sheets;
};

const std::string kLinked = "<link rel=stylesheet href=/css/site.css><p class=logo><p class=part><p class=big>";
const std::string kLinkedPrint = "<!doctype html><link rel=stylesheet href=/css/site.css media=print><p class=logo>";
const std::string kInline = "<!doctype html><style>.in{background-image:url(in.png)}</style><p class=in>";
const std::string kInlineImport = "<!doctype html><style>@import 'local.css';</style><p class=local><p class=part>";
const std::string kPlain = "<!doctype html><style>.x{background:none}</style>" + kLinked + "<p class=x>";
const std::string kFrag = "<!doctype html>" + kLinked + "<link rel=stylesheet href=/css/frag.css><p class=m><p class=m2>";
const std::string kChanging = "<!doctype html><link rel=stylesheet href=/css/c.css><p class=c><p class=part>";
const std::string kFailing = "<!doctype html><link rel=stylesheet href=/css/gone.css>" + kLinked;
const std::string kMedia = "<!doctype html><link rel=stylesheet href=/css/wide.css media=screen>"
                           "<link rel=stylesheet href=/css/print.css media=print><p class=wide>";

const std::vector<Document>& Documents() {
    static const std::vector<Document> documents = {
        {"linked", "http://a.test/one/a.html", "<!doctype html>" + kLinked, kSite},
        {"linked elsewhere", "http://a.test/two/b.html", "<!doctype html>" + kLinked, kSite},
        {"quirks", "http://a.test/one/a.html", kLinked, kSite},
        {"linked for print", "http://a.test/one/a.html", kLinkedPrint, kSite},
        {"fragment", "http://a.test/one/f.html", kFrag, kSite},
        {"fragment elsewhere", "http://a.test/two/f.html", kFrag, kSite},
        {"inline", "http://a.test/one/i.html", kInline, kSite},
        {"inline elsewhere", "http://a.test/two/i.html", kInline, kSite},
        {"inline import", "http://a.test/one/i.html", kInlineImport, kSite},
        {"inline import elsewhere", "http://a.test/two/i.html", kInlineImport, kSite},
        {"plain inline", "http://a.test/one/n.html", kPlain, kSite},
        {"plain inline elsewhere", "http://a.test/two/n.html", kPlain, kSite},
        {"changed 1", "http://a.test/one/c.html", kChanging,
         With(kSite, {{"http://a.test/css/c.css", ".c{background-image:url(c1.png)}"}})},
        {"changed 2", "http://a.test/one/c.html", kChanging,
         With(kSite, {{"http://a.test/css/c.css", "@import url(parts.css); .c{list-style-image:url(c2.png)}"}})},
        {"changed import", "http://a.test/one/c.html", kChanging,
         With(kSite, {{"http://a.test/css/c.css", "@import url(parts.css); .c{list-style-image:url(c2.png)}"},
                      {"http://a.test/css/parts.css", ".part{background-image:url(other.png)}"}})},
        {"failing", "http://a.test/one/g.html", kFailing, kSite},
        {"failing no more", "http://a.test/one/g.html", kFailing,
         With(kSite, {{"http://a.test/css/gone.css", ".logo{background-image:url(back.png)!important}"}})},
        {"media", "http://a.test/one/w.html", kMedia, kSite},
    };
    return documents;
}

const Document& Named(const std::string& name) {
    const auto& all = Documents();
    return *std::find_if(all.begin(), all.end(), [&name](const Document& d) { return d.name == name; });
}

// The pictures, the reason to need a browser and the sheets fetched, as one text to compare.
std::string Read(const Document& d, SheetRulesCache* cache) {
    std::string fetched;
    const SheetFetch fetch = [&d, &fetched](const std::string& address) -> std::optional<std::string> {
        fetched += " " + address;
        const auto it = d.sheets.find(address);
        if (it == d.sheets.end()) return std::nullopt;
        return it->second;
    };
    const DocumentPictures got = StaticDocument(d.html).ShownPictures(d.url, fetch, 100, cache);
    std::string out;
    for (const ShownPicture& p : got.pictures) out += p.address + " ";
    return out + "| " + got.needsBrowser + " | fetched" + fetched;
}

// Documents read with rules kept from others give what reading their own sheets gives,
// in any order and whatever the cache had to let go.
TEST(SheetRulesCache, KeptRulesGiveWhatReadingGives) {
    std::map<std::string, std::string> fresh;
    for (const Document& d : Documents()) fresh[d.name] = Read(d, nullptr);
    EXPECT_EQ(fresh["linked"], "http://a.test/css/logo.png http://a.test/css/p.png |  | fetched "
                               "http://a.test/css/site.css http://a.test/css/parts.css");
    EXPECT_NE(fresh["quirks"], fresh["linked"]);

    std::vector<const Document*> forward;
    for (const Document& d : Documents()) forward.push_back(&d);
    std::vector<const Document*> shuffled = forward;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
    const std::vector<std::vector<const Document*>> orders = {forward, {forward.rbegin(), forward.rend()}, shuffled};
    struct Bound {
        size_t entries, bytes;
    };
    for (const Bound bound : {Bound{128, size_t{32} << 20}, Bound{1, size_t{32} << 20}, Bound{8, 600}}) {
        for (const auto& order : orders) {
            SheetRulesCache cache(bound.entries, bound.bytes);
            for (int round = 0; round < 2; ++round)
                for (const Document* d : order)
                    for (int twice = 0; twice < 2; ++twice)
                        EXPECT_EQ(Read(*d, &cache), fresh[d->name]) << d->name << " (bound " << bound.entries << ")";
            EXPECT_TRUE(bound.entries == 1 || cache.Hits() > 0);
        }
    }
}

// Pages read on several threads share one cache.
TEST(SheetRulesCache, ServesSeveralThreads) {
    std::map<std::string, std::string> fresh;
    for (const Document& d : Documents()) fresh[d.name] = Read(d, nullptr);
    SheetRulesCache cache(4);
    std::vector<std::vector<std::string>> got(3);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < got.size(); ++t)
        threads.emplace_back([&cache, &out = got[t]] {
            for (int round = 0; round < 3; ++round)
                for (const Document& d : Documents()) out.push_back(Read(d, &cache));
        });
    for (std::thread& t : threads) t.join();
    for (const std::vector<std::string>& out : got)
        for (size_t i = 0; i < out.size(); ++i) {
            const Document& d = Documents()[i % Documents().size()];
            EXPECT_EQ(out[i], fresh[d.name]) << d.name;
        }
}

// Which documents take the rules of one before: those whose sheets come to the same rules.
TEST(SheetRulesCache, TakesOnlyRulesOfTheSameSheets) {
    const struct {
        const char* document;
        bool taken;
    } steps[] = {
        {"linked", false},         {"linked elsewhere", true},   {"quirks", false},
        {"fragment", false},       {"fragment elsewhere", false}, {"fragment", true},
        {"inline", false},         {"inline elsewhere", false},   {"inline import", false},
        {"inline import elsewhere", false}, {"linked for print", false}, {"plain inline", false},
        {"plain inline elsewhere", true}, {"changed 1", false},   {"changed 2", false},
        {"changed import", false}, {"changed 1", true},           {"failing", false},
        {"failing no more", false}, {"failing", true},
    };
    SheetRulesCache cache;
    for (const auto& step : steps) {
        const size_t before = cache.Hits();
        const Document& d = Named(step.document);
        EXPECT_EQ(Read(d, &cache), Read(d, nullptr)) << step.document;
        EXPECT_EQ(cache.Hits() - before, step.taken ? 1u : 0u) << step.document;
    }
}

// The pages of a run share the rules through the run's sheets.
TEST(SheetRulesCache, PagesOfARunShareThem) {
    SheetCache sheets;
    const PageFetch fetch = [](const std::string& address, const std::string&) -> FetchedPage {
        if (address.ends_with(".css")) return {address, "text/css", ".p{background:url(bg.png)}"};
        return {address, "text/html", "<link rel=stylesheet href=/s.css><p class=p>"};
    };
    for (const char* page : {"http://a.test/1.html", "http://a.test/2.html"}) {
        StaticBrowser browser(fetch, false, true, &sheets);
        browser.Navigate(page);
        ASSERT_EQ(browser.ShownPictures(10).pictures.size(), 1u);
    }
    EXPECT_EQ(sheets.Rules().Hits(), 1u);
}

}  // namespace
}  // namespace nuv
