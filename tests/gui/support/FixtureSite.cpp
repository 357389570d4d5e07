#include "support/FixtureSite.h"

#include <QStringList>

#include "platform/QtText.h"
#include "support/QtFiles.h"

namespace nuv::test {
namespace {

std::string U(const TestHttpServer& site, const char* path) {
    return ToUtf8(site.Url(QString::fromLatin1(path)));
}

// The lines of a table of tests/data: tab-separated fields, "#" starts a comment line.
std::vector<QStringList> Table(const QString& file) {
    std::vector<QStringList> rows;
    for (const QByteArray& line : ReadData(file).split('\n')) {
        if (line.trimmed().isEmpty() || line.startsWith('#')) continue;
        rows.push_back(QString::fromUtf8(line).split(QLatin1Char('\t')));
    }
    return rows;
}

}  // namespace

void PutSite(const QString& folder, TestHttpServer& site, TestHttpServer* other) {
    for (const QStringList& row : Table(folder + QStringLiteral("/site.txt"))) {
        if (row.size() < 4) continue;
        QByteArray body = ReadData(folder + QLatin1Char('/') + row[3]);
        if (other) body.replace("{{OTHER}}", other->Origin().toUtf8());
        // The test server answers by the path alone.
        (row[0] == QLatin1String("B") && other ? *other : site)
            .Put(row[1].section(QLatin1Char('?'), 0, 0), body, row[2].toUtf8());
    }
}

void PutFixtureSite(TestHttpServer& site) { PutSite(QStringLiteral("site"), site, nullptr); }

std::string FixturePage(const TestHttpServer& site) { return U(site, "/index.html"); }

FixtureLists ExpectedFixtureLists(const TestHttpServer& site) {
    FixtureLists l;
    for (const QStringList& row : Table(QStringLiteral("site/expected.txt"))) {
        if (row.size() < 2) continue;
        const std::string address = ToUtf8(site.Url(row[1]));
        const QString& list = row[0];
        (list == QLatin1String("images")  ? l.images
         : list == QLatin1String("flash") ? l.flash
         : list == QLatin1String("other") ? l.other
         : list == QLatin1String("links") ? l.links
                                          : l.css)
            .push_back(address);
    }
    return l;
}

void PutShownSite(TestHttpServer& site, TestHttpServer& other) { PutSite(QStringLiteral("shown"), site, &other); }

QString ShownPage(const TestHttpServer& site) { return site.Url(QStringLiteral("/shown/index.html")); }

std::vector<ShownEntry> ExpectedShownPictures(const TestHttpServer& site, const TestHttpServer& other) {
    std::vector<ShownEntry> entries;
    for (const QStringList& row : Table(QStringLiteral("shown/expected.txt"))) {
        if (row.size() < 5) continue;
        const QStringList size = row[3].split(QLatin1Char('x'));
        entries.push_back({ToUtf8((row[0] == QLatin1String("B") ? other : site).Url(row[1])), ToUtf8(row[2]),
                           size.value(0).toInt(), size.value(1).toInt(), ToUtf8(row[4])});
    }
    return entries;
}

}  // namespace nuv::test
