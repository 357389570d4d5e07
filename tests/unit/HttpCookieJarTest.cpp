#include "net/CookieJar.h"

#include <gtest/gtest.h>

namespace nuv {
namespace {

constexpr UnixSeconds kNow = 1700000000;  // 2023-11-14 22:13:20 UTC

TEST(HttpCookieDate, ReadsTheFormsServersSend) {
    const UnixSeconds expected = 1623233894;  // 2021-06-09 10:18:14 UTC
    EXPECT_EQ(ParseCookieDate("Wed, 09 Jun 2021 10:18:14 GMT"), expected);
    EXPECT_EQ(ParseCookieDate("Wednesday, 09-Jun-21 10:18:14 GMT"), expected);
    EXPECT_EQ(ParseCookieDate("Wed Jun  9 10:18:14 2021"), expected);
    EXPECT_EQ(ParseCookieDate("wed, 09-JUN-2021 10:18:14 utc"), expected);
    EXPECT_EQ(ParseCookieDate("Thu, 01 Jan 1970 00:00:00 GMT"), 0);
    EXPECT_EQ(ParseCookieDate("Fri, 31 Dec 1999 23:59:59 GMT"), 946684799);
    EXPECT_EQ(ParseCookieDate("Tue, 29 Feb 2000 00:00:00 GMT"), 951782400);
    EXPECT_EQ(ParseCookieDate("Sat, 01-Jan-69 00:00:00 GMT"), 3124224000);  // two-digit years below 70 are 20xx
    for (const char* bad : {"", "tomorrow", "Wed, 32 Jun 2021 10:18:14 GMT", "Wed, 09 Foo 2021 10:18:14 GMT",
                            "Wed, 09 Jun 2021 25:00:00 GMT", "Wed, 31 Apr 2021 10:00:00 GMT", "09 Jun",
                            "1 2 3 4 5", "Wed, 09 Jun 123456 10:18:14 GMT"}) {
        EXPECT_FALSE(ParseCookieDate(bad).has_value()) << bad;
    }
}

TEST(HttpCookieJar, StoresWithDefaultsAndSendsOnMatchingHostAndPath) {
    CookieJar jar;
    jar.StoreSetCookie("sid=abc", "www.example.com", "/shop/", kNow);
    jar.StoreSetCookie("empty=", "www.example.com", "/", kNow);
    jar.StoreSetCookie("  spaced  =  v 1  ; path=/", "www.example.com", "/", kNow);
    const auto all = jar.All();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].domain, "www.example.com");
    EXPECT_EQ(all[0].path, "/shop");
    EXPECT_FALSE(all[0].expires.has_value());
    EXPECT_EQ(all[2].name, "spaced");
    EXPECT_EQ(all[2].value, "v 1");

    EXPECT_EQ(jar.CookieHeader("www.example.com", "/shop/cart.html", false), "sid=abc; spaced=v 1");
    EXPECT_EQ(jar.CookieHeader("www.example.com", "/shopping", false), "sid=abc; spaced=v 1");  // plain prefix
    EXPECT_EQ(jar.CookieHeader("www.example.com", "/other/", false), "spaced=v 1");
    EXPECT_EQ(jar.CookieHeader("WWW.EXAMPLE.COM", "/", false), "spaced=v 1");
    EXPECT_EQ(jar.CookieHeader("elsewhere.org", "/", false), "");
}

TEST(HttpCookieJar, CookiesGoOnlyToTheirDomainAndBelow) {
    CookieJar jar;
    jar.StoreSetCookie("a=1; path=/", "example.com", "/", kNow);
    EXPECT_EQ(jar.CookieHeader("example.com", "/", false), "a=1");
    EXPECT_EQ(jar.CookieHeader("www.example.com", "/", false), "a=1");
    // A host that merely contains the domain gets nothing.
    EXPECT_EQ(jar.CookieHeader("notexample.com", "/", false), "");
    EXPECT_EQ(jar.CookieHeader("example.com.evil.org", "/", false), "");
    EXPECT_EQ(jar.CookieHeader("xample.com", "/", false), "");
}

TEST(HttpCookieJar, DomainAttributeMustFitTheSendingHost) {
    struct Case {
        const char* host;
        const char* setCookie;
        const char* storedDomain;  // nullptr: dropped
    };
    const Case cases[] = {
        {"a.b.example", "c=1; domain=.b.example", ".b.example"},
        {"a.b.example", "c=1; domain=b.example", ".b.example"},  // stored with its leading "."
        {"a.b.example", "c=1; domain=a.b.example", "a.b.example"},
        {"a.b.example", "c=1; domain=.example", nullptr},  // only the immediate parent fits
        {"a.b.example", "c=1; domain=other.example", nullptr},
        {"a.b.example", "c=1; domain=.B.example", nullptr},  // case counts
        {"b.example", "c=1; domain=.b.example", nullptr},
        {"localhost", "c=1; domain=.localhost", nullptr},
        {"10.0.0.1", "c=1; domain=10.0.0.1", "10.0.0.1"},
        {"10.0.0.1", "c=1; domain=.0.0.1", nullptr},
        {"10.0.0.1", "c=1; domain=0.0.1", nullptr},
        {"10.0.0.1", "c=1", "10.0.0.1"},
        // A public suffix is no cookie domain: it would reach every site under it.
        {"shop.com", "c=1; domain=com", nullptr},
        {"shop.com", "c=1; domain=.com", nullptr},
        {"a.co.uk", "c=1; domain=co.uk", nullptr},
        {"evil.github.io", "c=1; domain=github.io", nullptr},
        {"a.shop.co.uk", "c=1; domain=shop.co.uk", ".shop.co.uk"},
        {"github.io", "c=1; domain=github.io", "github.io"},  // the suffix itself, for itself alone
    };
    for (const Case& c : cases) {
        CookieJar jar;
        jar.StoreSetCookie(c.setCookie, c.host, "/", kNow);
        const auto all = jar.All();
        if (c.storedDomain == nullptr) {
            EXPECT_TRUE(all.empty()) << c.host << " " << c.setCookie;
        } else {
            ASSERT_EQ(all.size(), 1u) << c.host << " " << c.setCookie;
            EXPECT_EQ(all[0].domain, c.storedDomain);
        }
    }
    CookieJar jar;
    jar.StoreSetCookie("c=1; domain=.b.example", "a.b.example", "/", kNow);
    EXPECT_EQ(jar.CookieHeader("b.example", "/", false), "c=1");
    EXPECT_EQ(jar.CookieHeader("z.b.example", "/", false), "c=1");
    EXPECT_EQ(jar.CookieHeader("c.example", "/", false), "");
    jar.StoreSetCookie("own=1; domain=github.io", "github.io", "/", kNow);
    EXPECT_EQ(jar.CookieHeader("github.io", "/", false), "own=1");
    EXPECT_EQ(jar.CookieHeader("evil.github.io", "/", false), "");
}

TEST(HttpCookieJar, LongerPathsComeFirstAndEqualPathsInReverseArrival) {
    CookieJar jar;
    jar.StoreSetCookie("root1=r1; path=/", "h.example", "/", kNow);
    jar.StoreSetCookie("deep=d; path=/a/b", "h.example", "/", kNow);
    jar.StoreSetCookie("mid=m; path=/a/", "h.example", "/", kNow);
    jar.StoreSetCookie("root2=r2; path=/", "h.example", "/", kNow);
    EXPECT_EQ(jar.CookieHeader("h.example", "/a/b/c.htm", false), "deep=d; mid=m; root2=r2; root1=r1");
    // Same name and path replaces the value where the cookie stands.
    jar.StoreSetCookie("root1=new; path=/", "h.example", "/", kNow);
    EXPECT_EQ(jar.CookieHeader("h.example", "/", false), "root2=r2; root1=new");
    // An empty value replaces too, and is then never sent.
    jar.StoreSetCookie("root2=; path=/", "h.example", "/", kNow);
    EXPECT_EQ(jar.CookieHeader("h.example", "/", false), "root1=new");
}

TEST(HttpCookieJar, ExpiryByDateAndMaxAge) {
    CookieJar jar;
    jar.StoreSetCookie("old=1; expires=Wed, 09 Jun 2021 10:18:14 GMT", "h", "/", kNow);
    jar.StoreSetCookie("future=1; expires=Fri, 01 Jan 2100 00:00:00 GMT; path=/", "h", "/", kNow);
    jar.StoreSetCookie("short=1; max-age=10; expires=Fri, 01 Jan 2100 00:00:00 GMT", "h", "/", kNow);
    jar.StoreSetCookie("bad=1; expires=someday", "h", "/", kNow);
    EXPECT_EQ(jar.All().size(), 4u);
    jar.RemoveExpired(kNow);
    EXPECT_EQ(jar.CookieHeader("h", "/", false), "bad=1; short=1; future=1");
    jar.RemoveExpired(kNow + 11);
    EXPECT_EQ(jar.CookieHeader("h", "/", false), "bad=1; future=1");
    // Max-Age 0 (or negative) ends a cookie at once.
    jar.StoreSetCookie("future=1; max-age=0; path=/", "h", "/", kNow + 20);
    jar.StoreSetCookie("bad=1; max-age=-5", "h", "/", kNow + 20);
    jar.RemoveExpired(kNow + 20);
    EXPECT_TRUE(jar.Empty());
}

TEST(HttpCookieJar, SecureCookiesOnlyOverEncryptedTransport) {
    CookieJar jar;
    jar.StoreSetCookie("s=1; Secure; path=/", "h.example", "/", kNow);
    jar.StoreSetCookie("p=2; path=/", "h.example", "/", kNow);
    EXPECT_EQ(jar.CookieHeader("h.example", "/", false), "p=2");
    EXPECT_EQ(jar.CookieHeader("h.example", "/", true), "p=2; s=1");
}

TEST(HttpCookieJar, SetCookie2HoldsSeveralCookiesWithQuotedValues) {
    CookieJar jar;
    jar.StoreSetCookie2("a=1; Version=\"1\"; Path=\"/x\"; Domain=\".b.example\", b=\"q,v\"; Version=1; Discard",
                        "a.b.example", "/", kNow);
    const auto all = jar.All();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].name, "a");
    EXPECT_EQ(all[0].path, "/x");
    EXPECT_EQ(all[0].domain, ".b.example");
    EXPECT_EQ(all[1].value, "\"q,v\"");
    EXPECT_EQ(all[1].domain, "a.b.example");
    // Set-Cookie keeps commas: they occur in its dates.
    CookieJar netscape;
    netscape.StoreSetCookie("id=7, x=8; expires=Fri, 01 Jan 2100 00:00:00 GMT", "h", "/", kNow);
    ASSERT_EQ(netscape.All().size(), 1u);
    EXPECT_EQ(netscape.All()[0].value, "7, x=8");
    EXPECT_EQ(netscape.All()[0].expires, 4102444800);
}

TEST(HttpCookieJar, NamelessOrValuelessPiecesDoNotBreakTheJar) {
    CookieJar jar;
    for (const char* v : {"", ";", "=v", " ; path=/", "flag", "a=1;;;path", "b=2; domain=; path="}) {
        jar.StoreSetCookie(v, "h", "/d/", kNow);
        jar.StoreSetCookie2(v, "h", "/d/", kNow);
    }
    EXPECT_EQ(jar.CookieHeader("h", "/d/", false), "b=2; a=1");
    for (const Cookie& c : jar.All()) EXPECT_FALSE(c.name.empty());
}

}  // namespace
}  // namespace nuv
