#include "support/FixtureSite.h"

#include <QStringList>

#include "platform/QtText.h"
#include "support/QtFiles.h"

namespace nuv::test {
namespace {

std::string U(const TestHttpServer& site, const char* path) {
    return ToUtf8(site.Url(QString::fromLatin1(path)));
}

QByteArray ReadShownData(const QString& name) { return ReadData(QStringLiteral("shown/") + name); }

// The lines of a table of tests/data/shown: tab-separated fields, "#" starts a comment line.
std::vector<QStringList> ShownTable(const QString& name) {
    std::vector<QStringList> rows;
    for (const QByteArray& line : ReadShownData(name).split('\n')) {
        if (line.trimmed().isEmpty() || line.startsWith('#')) continue;
        rows.push_back(QString::fromUtf8(line).split(QLatin1Char('\t')));
    }
    return rows;
}

}  // namespace

void PutFixtureSite(TestHttpServer& site) {
    site.Put(QStringLiteral("/index.html"),
             "<html><head><link rel=\"stylesheet\" href=\"style/site.css\"></head><body>"
             "<img src=\"img/logo.gif\"><img src=\"IMG/LOGO.GIF\"><img src=\"img/photo.jpeg\">"
             "<embed src=\"media/intro.swf\"><a href=\"player.php?f=x.swf\">player</a>"
             "<a href=\"files/pack.zip\">zip</a><a href=\"docs/page.html\">page</a>"
             "<a href=\"media/Clip.SWF\">clip</a><a href=\"#top\">top</a><a href=\"files/pack.zip\">again</a>"
             "<iframe src=\"frame.html\"></iframe><iframe src=\"about:blank\"></iframe></body></html>");
    site.Put(QStringLiteral("/style/site.css"),
             "body { background: url(../img/bg.png); }\n.logo { background: url(../img/logo.gif) }\n",
             "text/css");
    site.Put(QStringLiteral("/frame.html"),
             "<html><body><img src=\"inner/f.gif\"><iframe src=\"nested.html\"></iframe></body></html>");
    site.Put(QStringLiteral("/nested.html"), "<html><body><img src=\"n.png\"></body></html>");
    for (const char* p : {"/img/logo.gif", "/img/photo.jpeg", "/img/bg.png", "/inner/f.gif", "/n.png"})
        site.Put(QString::fromLatin1(p), QByteArray("picture bytes of ") + p, "image/png");
}

std::string FixturePage(const TestHttpServer& site) { return U(site, "/index.html"); }

FixtureLists ExpectedFixtureLists(const TestHttpServer& site) {
    FixtureLists l;
    l.images = {U(site, "/img/logo.gif"), U(site, "/img/photo.jpeg"), U(site, "/img/bg.png"),
                U(site, "/inner/f.gif"), U(site, "/n.png")};
    l.flash = {U(site, "/media/intro.swf"), U(site, "/x.swf"), U(site, "/media/clip.swf")};
    l.other = {U(site, "/files/pack.zip")};
    l.links = {U(site, "/player.php?f=x.swf"), U(site, "/docs/page.html")};
    l.css = {U(site, "/style/site.css")};
    return l;
}

void PutShownSite(TestHttpServer& site, TestHttpServer& other) {
    for (const QStringList& row : ShownTable(QStringLiteral("site.txt"))) {
        if (row.size() < 4) continue;
        QByteArray body = ReadShownData(row[3]);
        body.replace("{{OTHER}}", other.Origin().toUtf8());
        // The test server answers by the path alone.
        (row[0] == QLatin1String("B") ? other : site).Put(row[1].section(QLatin1Char('?'), 0, 0), body, row[2].toUtf8());
    }
}

QString ShownPage(const TestHttpServer& site) { return site.Url(QStringLiteral("/shown/index.html")); }

std::vector<ShownEntry> ExpectedShownPictures(const TestHttpServer& site, const TestHttpServer& other) {
    std::vector<ShownEntry> entries;
    for (const QStringList& row : ShownTable(QStringLiteral("expected.txt"))) {
        if (row.size() < 5) continue;
        const QStringList size = row[3].split(QLatin1Char('x'));
        entries.push_back({ToUtf8((row[0] == QLatin1String("B") ? other : site).Url(row[1])), ToUtf8(row[2]),
                           size.value(0).toInt(), size.value(1).toInt(), ToUtf8(row[4])});
    }
    return entries;
}

}  // namespace nuv::test
