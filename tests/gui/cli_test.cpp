// nuv-extract end to end: the executable itself, started as a script would start it,
// against sites served on 127.0.0.1 by the test. Its lists for the fixture page must be
// the window program's lists for the same page.
#include <sched.h>
#include <unistd.h>

#include <cstdlib>
#include <map>

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMap>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QWebEngineProfile>

#include "support/BrowserHistories.h"
#include "support/Fakes.h"
#include "support/FixtureSite.h"
#include "support/Files.h"
#include "support/ProgramRun.h"
#include "support/SqlFiles.h"
#include "support/TestHttpServer.h"
#include "platform/QtText.h"

using namespace nuv;
using namespace nuv::test;

namespace {

// A server on 127.0.0.1 that misbehaves: it accepts and then never answers, or it
// announces a body and closes the connection half-way through it. It lives on the
// test's thread, so a run must keep the event loop going (Extract does).
class RudeServer : public QObject {
public:
    enum class Mode { Silent, Truncating };
    explicit RudeServer(Mode mode) : mode_(mode) {
        server_.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                held_.push_back(s);
                if (mode_ == Mode::Truncating) {
                    connect(s, &QTcpSocket::readyRead, s, [s] {
                        s->readAll();
                        s->write("HTTP/1.0 200 OK\r\nContent-Type: image/png\r\nContent-Length: 100000\r\n\r\n");
                        s->write(QByteArray(3000, 'x'));
                        s->flush();
                        s->disconnectFromHost();
                    });
                }
            }
        });
    }
    QString Url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path);
    }

private:
    Mode mode_;
    QTcpServer server_;
    std::vector<QTcpSocket*> held_;
};

// A port on 127.0.0.1 that nothing listens on.
quint16 ClosedPort() {
    QTcpServer s;
    s.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
    const quint16 port = s.serverPort();
    s.close();
    return port;
}

}  // namespace

class CliTest : public QObject {
    Q_OBJECT

private:
    TestHttpServer site_;
    FixtureLists expected_;
    QtTempFolder work_;

    // Runs nuv-extract as a script would: no display, no platform chosen, and as root
    // without the sandbox switch, which the program must set up itself.
    ProgramRun Extract(const QStringList& args, const QString& workingDir = QString(), const QString& tmpDir = QString(),
                       const QString& home = QString()) {
        QProcessEnvironment env = ScriptEnvironment();
        if (geteuid() == 0) env.remove(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"));
        if (!tmpDir.isEmpty()) env.insert(QStringLiteral("TMPDIR"), tmpDir);
        if (!home.isEmpty()) {
            env.insert(QStringLiteral("HOME"), home);
            env.remove(QStringLiteral("XDG_CONFIG_HOME"));
        }
        return RunProgram(QStringLiteral(NUV_EXTRACT_EXE), args, env, workingDir);
    }

    QString Page() const { return FromUtf8(FixturePage(site_)); }

private slots:
    void initTestCase() {
        QVERIFY(site_.isListening());
        PutFixtureSite(site_);
        expected_ = ExpectedFixtureLists(site_);

        site_.Put(QStringLiteral("/good1.png"), QByteArray(40000, 'a'), "image/png");
        site_.Put(QStringLiteral("/good2.png"), QByteArray("second picture"), "image/png");
    }

    // The lists of every list type equal the window program's lists for the same page,
    // in plain lines and in JSON.
    void listsEqualTheWindowProgramsLists_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("images") << "images" << Strings(expected_.images);
        QTest::newRow("flash") << "flash" << Strings(expected_.flash);
        QTest::newRow("other") << "other" << Strings(expected_.other);
        QTest::newRow("css") << "css" << Strings(expected_.css);
    }
    void listsEqualTheWindowProgramsLists() {
        QFETCH(QString, type);
        QFETCH(QStringList, expected);
        const ProgramRun plain = Extract({QStringLiteral("-t"), type, Page()});
        QCOMPARE(plain.exitCode, 0);
        QCOMPARE(plain.lines(), expected);
        QVERIFY2(plain.err.contains(type.toUtf8() + ": found " + QByteArray::number(expected.size())), plain.err);

        const ProgramRun json = Extract({QStringLiteral("--json"), QStringLiteral("--type=") + type, Page()});
        QCOMPARE(json.exitCode, 0);
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(json.out, &error);
        QVERIFY2(error.error == QJsonParseError::NoError, json.out);
        const QJsonObject o = doc.object();
        QCOMPARE(o.value(QStringLiteral("address")).toString(), Page());
        QCOMPARE(o.value(QStringLiteral("type")).toString(), type);
        QCOMPARE(Strings(o.value(QStringLiteral("list")).toArray()), expected);
        QVERIFY(!o.contains(QStringLiteral("downloads")));
    }

    // The default type is images; the address is completed with "http://".
    void defaultTypeAndAddressCompletion() {
        const ProgramRun r = Extract({Page().mid(int(qstrlen("http://")))});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.lines(), Strings(expected_.images));
    }

    void sourceAndText() {
        const ProgramRun source = Extract({QStringLiteral("-t"), QStringLiteral("source"), Page()});
        QCOMPARE(source.exitCode, 0);
        QVERIFY(source.out.startsWith("<html>"));
        QVERIFY(source.out.contains("<img src=\"IMG/LOGO.GIF\">"));
        QVERIFY(source.out.endsWith("</html>\n"));

        const ProgramRun text = Extract({QStringLiteral("-t"), QStringLiteral("text"), Page()});
        QCOMPARE(text.exitCode, 0);
        QVERIFY2(text.out.contains("player") && text.out.contains("again"), text.out);
        QVERIFY(!text.out.contains("<a"));

        const ProgramRun json = Extract({QStringLiteral("--json"), QStringLiteral("-ttext"), Page()});
        QCOMPARE(json.exitCode, 0);
        const QJsonObject o = QJsonDocument::fromJson(json.out).object();
        QCOMPARE(o.value(QStringLiteral("type")).toString(), QStringLiteral("text"));
        QCOMPARE(o.value(QStringLiteral("text")).toString() + QLatin1Char('\n'), QString::fromUtf8(text.out));
        QVERIFY(!o.contains(QStringLiteral("list")));
    }

    // -d with a missing file, a dead server and a transfer cut short among good files:
    // exit 3, each failure named, the good files whole, nothing half-written, and an
    // older file under a failing name kept as it was.
    void downloadsWithFailures() {
        RudeServer cutter(RudeServer::Mode::Truncating);
        const QString dead = QStringLiteral("http://127.0.0.1:%1/dead.png").arg(ClosedPort());
        site_.Put(QStringLiteral("/mixed.html"),
                  "<html><body><img src=\"good1.png\"><img src=\"missing.png\"><img src=\"" + dead.toUtf8() +
                      "\"><img src=\"" + cutter.Url(QStringLiteral("/cut.png")).toUtf8() +
                      "\"><img src=\"good2.png\"><img src=\"page.php?x.png\"></body></html>");
        const QString folder = work_.path() + QStringLiteral("/new/saved");
        QVERIFY(QDir().mkpath(folder));
        WriteFile(folder + QStringLiteral("/cut.png"), "older good file");

        // A transfer cut half-way may pass when tried again (once here); a 404 and a closed
        // port are final.
        const ProgramRun r = Extract({QStringLiteral("-d"), QStringLiteral("--json"), QStringLiteral("-o"), folder,
                               QStringLiteral("-q"), QStringLiteral("--retries"), QStringLiteral("1"),
                               site_.Url(QStringLiteral("/mixed.html"))});
        QCOMPARE(r.exitCode, 3);
        const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
        QCOMPARE(names, (QStringList{QStringLiteral("cut.png"), QStringLiteral("good1.png"), QStringLiteral("good2.png")}));
        auto read = [&](const char* name) { return ReadFile(folder + QLatin1Char('/') + QLatin1String(name)); };
        QCOMPARE(read("good1.png"), QByteArray(40000, 'a'));
        QCOMPARE(read("good2.png"), QByteArray("second picture"));
        QCOMPARE(read("cut.png"), QByteArray("older good file"));

        for (const QString& failed : {site_.Url(QStringLiteral("/missing.png")), dead, cutter.Url(QStringLiteral("/cut.png"))})
            QVERIFY2(r.err.contains("download failed: " + failed.toUtf8()), r.err);
        QVERIFY2(r.err.contains("images: found 6, downloaded 2, failed 3, skipped 1"), r.err);

        const QJsonArray records =
            QJsonDocument::fromJson(r.out).object().value(QStringLiteral("downloads")).toArray();
        QCOMPARE(records.size(), 6);
        const QJsonObject first = records[0].toObject();
        QCOMPARE(first.value(QStringLiteral("file")).toString(), folder + QStringLiteral("/good1.png"));
        QCOMPARE(first.value(QStringLiteral("size")).toInt(), 40000);
        QVERIFY(!records[1].toObject().value(QStringLiteral("error")).toString().isEmpty());
        QCOMPARE(records[3].toObject().value(QStringLiteral("retries")).toInt(), 1);
        for (int i : {1, 2}) QVERIFY(!records[i].toObject().contains(QStringLiteral("retries")));
        QVERIFY2(r.err.contains("(tried again 1 time)"), r.err);
        QCOMPARE(records[5].toObject().value(QStringLiteral("reason")).toString(), QStringLiteral("web page"));

        // Every download succeeding gives 0; the other type downloads archives too.
        const QString all = work_.path() + QStringLiteral("/all");
        site_.Put(QStringLiteral("/files/pack.zip"), QByteArray("zip bytes"), "application/zip");
        const ProgramRun ok = Extract({QStringLiteral("-dt"), QStringLiteral("other"), QStringLiteral("--save-to"), all, Page()});
        QCOMPARE(ok.exitCode, 0);
        QVERIFY2(ok.err.contains("other: found 1, downloaded 1, failed 0"), ok.err);
        QVERIFY(QFile::exists(all + QStringLiteral("/pack.zip")));
    }

    // A busy server is asked again: after what its Retry-After says, else after a back-off;
    // an answer that is no passing state (404) is not. --retries 0 gives up at once.
    void busyServersAreAskedAgain() {
        site_.Put(QStringLiteral("/busy/p.html"),
                  "<html><body><img src=\"a.png\"><img src=\"b.png\"><img src=\"c.png\"></body></html>");
        site_.Put(QStringLiteral("/busy/a.png"), "picture a", "image/png");
        site_.Put(QStringLiteral("/busy/b.png"), "picture b", "image/png");
        site_.FailFirst(QStringLiteral("/busy/a.png"), 2, "429 Too Many Requests", "Retry-After: 1\r\n");
        site_.FailFirst(QStringLiteral("/busy/b.png"), 1, "503 Service Unavailable");
        site_.FailFirst(QStringLiteral("/busy/p.html"), 1, "503 Service Unavailable");
        const QString folder = work_.path() + QStringLiteral("/busy");
        QElapsedTimer clock;
        clock.start();
        const ProgramRun r = Extract({QStringLiteral("-dq"), QStringLiteral("--jsonl"), QStringLiteral("-o"), folder,
                                      site_.Url(QStringLiteral("/busy/p.html"))});
        QCOMPARE(r.exitCode, 3);
        QVERIFY(clock.elapsed() >= 2000);  // twice the second that Retry-After asked for
        QCOMPARE(ReadFile(folder + QStringLiteral("/a.png")), QByteArray("picture a"));
        QCOMPARE(ReadFile(folder + QStringLiteral("/b.png")), QByteArray("picture b"));
        QCOMPARE(site_.RequestCount(QStringLiteral("/busy/a.png")), 3);
        QCOMPARE(site_.RequestCount(QStringLiteral("/busy/b.png")), 2);
        QCOMPARE(site_.RequestCount(QStringLiteral("/busy/c.png")), 1);
        // The page itself was busy at first, too.
        QCOMPARE(site_.RequestCount(QStringLiteral("/busy/p.html")), 2);
        QCOMPARE(QJsonDocument::fromJson(r.out).object().value(QStringLiteral("retries")).toInt(), 1);
        const QJsonArray records =
            QJsonDocument::fromJson(r.out).object().value(QStringLiteral("downloads")).toArray();
        QCOMPARE(records.size(), 3);
        QCOMPARE(records[0].toObject().value(QStringLiteral("retries")).toInt(), 2);
        QCOMPARE(records[1].toObject().value(QStringLiteral("retries")).toInt(), 1);
        QCOMPARE(records[2].toObject().value(QStringLiteral("outcome")).toString(), QStringLiteral("failed"));
        QVERIFY(!records[2].toObject().contains(QStringLiteral("retries")));

        site_.FailFirst(QStringLiteral("/busy/a.png"), 1, "429 Too Many Requests", "Retry-After: 1\r\n");
        const ProgramRun once = Extract({QStringLiteral("-dq"), QStringLiteral("--retries"), QStringLiteral("0"),
                                         QStringLiteral("-o"), folder + QStringLiteral("2"),
                                         site_.Url(QStringLiteral("/busy/p.html"))});
        QCOMPARE(once.exitCode, 3);
        QCOMPARE(site_.RequestCount(QStringLiteral("/busy/a.png")), 4);
        QVERIFY2(once.err.contains("download failed: " + site_.Url(QStringLiteral("/busy/a.png")).toUtf8()), once.err);
    }

    // The static engine reads a page without scripts as the browser does: the page source
    // and every list of each page of tests/data/static and of the fixture site are the
    // same through both engines, and auto reads them all without the browser.
    void staticAndBrowserEnginesAgree_data() {
        QTest::addColumn<QString>("type");
        for (const char* type : {"source", "images", "flash", "css", "other"}) QTest::newRow(type) << QString::fromLatin1(type);
    }
    void staticAndBrowserEnginesAgree() {
        QFETCH(QString, type);
        TestHttpServer corpus;
        PutSite(QStringLiteral("static"), corpus);
        QByteArray list = FixturePage(site_).c_str() + QByteArray("\n");
        for (const QByteArray& line : ReadData(QStringLiteral("static/pages.txt")).split('\n'))
            if (!line.isEmpty() && !line.startsWith('#')) list += corpus.Url(QString::fromUtf8(line)).toUtf8() + "\n";
        const QString file = work_.path() + QStringLiteral("/corpus.txt");
        WriteFile(file, list);
        std::map<QString, QJsonArray> lists[2];
        const char* engines[] = {"static", "browser", "auto"};
        for (int e = 0; e < (type == QStringLiteral("images") ? 3 : 2); ++e) {
            const ProgramRun r = Extract({QStringLiteral("-q"), QStringLiteral("--no-robots"), QStringLiteral("--jsonl"),
                                          QStringLiteral("-t"), type, QStringLiteral("--engine"),
                                          QString::fromLatin1(engines[e]), QStringLiteral("-i"), file});
            QVERIFY2(r.exitCode == 0, r.err);
            for (const QByteArray& line : r.out.split('\n')) {
                if (line.isEmpty()) continue;
                const QJsonObject o = QJsonDocument::fromJson(line).object();
                // A page that declares no encoding is the engine's to decode, unless it is ASCII.
                const bool undeclared = o.value(QStringLiteral("address")).toString().endsWith(QStringLiteral("/latin.html"));
                QCOMPARE(o.value(QStringLiteral("engine")).toString(),
                         QString::fromLatin1(e == 1 || (e == 2 && undeclared) ? "browser" : "static"));
                const QJsonValue found = o.value(type == QStringLiteral("source") ? QStringLiteral("text") : QStringLiteral("list"));
                const QJsonArray entries = found.isArray() ? found.toArray() : QJsonArray{found};
                if (e < 2) lists[e][o.value(QStringLiteral("address")).toString()] = entries;
            }
        }
        QCOMPARE(lists[0].size(), size_t(10));
        for (const auto& [address, entries] : lists[1]) {
            const QJsonArray& readStatically = lists[0][address];
            QVERIFY2(readStatically == entries, qPrintable(address + QStringLiteral("\nstatic:  ") +
                                                       QString::fromUtf8(QJsonDocument(readStatically).toJson(QJsonDocument::Compact)) +
                                                       QStringLiteral("\nbrowser: ") +
                                                       QString::fromUtf8(QJsonDocument(entries).toJson(QJsonDocument::Compact))));
        }
    }

    // The pages of a run that share style sheets have them fetched once, for their pictures
    // and for the designed lists, a sheet that answers 404 too; each page still has its
    // sheets saved and its failure reported. So are the pictures they share. The pages are
    // asked for with the engine's User-Agent, though the engine never starts.
    void pagesOfARunFetchASharedStyleSheetOnce() {
        TestHttpServer shop;
        shop.Put(QStringLiteral("/s.css"), ".hero { background: url(hero.webp) }\n.x { background: url(x.gif) }",
                 "text/css");
        const QByteArray page = "<html><head><link rel=stylesheet href=/s.css><link rel=stylesheet href=/gone.css>"
                                "</head><body><div class=hero></div></body></html>";
        shop.Put(QStringLiteral("/1.html"), page);
        shop.Put(QStringLiteral("/2.html"), page);
        for (const QString& path : {QStringLiteral("/1.html"), QStringLiteral("/2.html")})
            shop.Require(path, {"User-Agent: " + QWebEngineProfile::defaultProfile()->httpUserAgent().toUtf8()});
        const QString out = work_.path() + QStringLiteral("/shared-sheet");
        const ProgramRun r = Extract({QStringLiteral("-q"), QStringLiteral("--no-robots"), QStringLiteral("--jsonl"),
                                      QStringLiteral("-j"), QStringLiteral("1"), QStringLiteral("-d"), QStringLiteral("-o"),
                                      out, shop.Url(QStringLiteral("/1.html")), shop.Url(QStringLiteral("/2.html"))});
        QCOMPARE(r.exitCode, 3);  // x.gif and hero.webp are not there
        QCOMPARE(shop.RequestCount(QStringLiteral("/s.css")), 1);
        QCOMPARE(shop.RequestCount(QStringLiteral("/gone.css")), 1);
        QCOMPARE(shop.RequestCount(QStringLiteral("/x.gif")), 1);
        QCOMPARE(shop.RequestCount(QStringLiteral("/hero.webp")), 1);
        QVERIFY(QFile::exists(out + QStringLiteral("/s.css")));
        for (const QByteArray& line : r.out.trimmed().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            QCOMPARE(o.value(QStringLiteral("engine")).toString(), QStringLiteral("static"));
            QStringList list;
            for (const QJsonValue& v : o.value(QStringLiteral("list")).toArray())
                list << v[QStringLiteral("address")].toString() + QLatin1Char(' ') + v[QStringLiteral("found")].toString();
            QCOMPARE(list, (QStringList{shop.Url(QStringLiteral("/x.gif")) + QStringLiteral(" sheet"),
                                        shop.Url(QStringLiteral("/hero.webp")) + QStringLiteral(" shown")}));
            const QJsonArray errors = o.value(QStringLiteral("errors")).toArray();
            QCOMPARE(errors.size(), 1);
            QVERIFY2(errors[0][QStringLiteral("why")].toString().contains(QStringLiteral("404")), line);
            for (const QJsonValue& d : o.value(QStringLiteral("downloads")).toArray())
                QVERIFY2(d[QStringLiteral("error")].toString().contains(QStringLiteral("404")), line);
        }
    }

    // -d with --engine auto: while the browser loads a page with scripts, what the page
    // gives without it is downloaded ahead; the browser's list takes over what it holds,
    // and what it does not hold is removed and counted.
    void downloadsGoAheadOfTheBrowser() {
        site_.Put(QStringLiteral("/ahead/page.html"),
                  "<html><body><img src=\"a.png\"><img id=\"g\" src=\"gone.png\"><script src=\"s.js\"></script>"
                  "</body></html>");
        site_.Put(QStringLiteral("/ahead/s.js"),
                  "document.getElementById('g').remove(); var i = document.createElement('img'); i.src = 'made.png';"
                  "document.body.appendChild(i);",
                  "text/javascript");
        for (const char* name : {"a", "gone", "made"})
            site_.Put(QStringLiteral("/ahead/%1.png").arg(QLatin1String(name)), name, "image/png");
        // The browser gets the script, and so its list, once the pictures went ahead.
        site_.AnswerAfter(QStringLiteral("/ahead/s.js"), QStringLiteral("/ahead/gone.png"), 0);
        const QString out = work_.path() + QStringLiteral("/ahead");
        const ProgramRun r = Extract({QStringLiteral("-q"), QStringLiteral("-d"), QStringLiteral("--jsonl"),
                                      QStringLiteral("-o"), out, site_.Url(QStringLiteral("/ahead/page.html"))});
        QVERIFY2(r.exitCode == 0, r.err);
        const QJsonObject o = QJsonDocument::fromJson(r.out).object();
        QCOMPARE(o.value(QStringLiteral("engine")).toString(), QStringLiteral("browser"));
        QStringList list;
        for (const QJsonValue& v : o.value(QStringLiteral("list")).toArray()) list << v[QStringLiteral("address")].toString();
        QCOMPARE(list, (QStringList{site_.Url(QStringLiteral("/ahead/a.png")), site_.Url(QStringLiteral("/ahead/made.png"))}));
        QCOMPARE(o.value(QStringLiteral("ahead")).toObject(),
                 (QJsonObject{{QStringLiteral("fetched"), 2}, {QStringLiteral("used"), 1}, {QStringLiteral("removed"), 1}}));
        QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{QStringLiteral("a.png"), QStringLiteral("made.png")}));
        QCOMPARE(ReadFile(out + QStringLiteral("/a.png")), QByteArray("a"));
        QCOMPARE(site_.RequestCount(QStringLiteral("/ahead/a.png")), 1);
    }

    // --min-size reads a page without scripts without the engine: the pictures' sizes come
    // from the headers of their files (an AVIF's too), which -d then keeps, each picture
    // asked for once; the files of those too small go.
    void sizesComeFromThePicturesFiles() {
        site_.Put(QStringLiteral("/sizes/page.html"),
                  "<html><body><img src=\"small.png\"><img src=\"large.png\"><img src=\"hero.avif\"></body></html>");
        for (const char* name : {"small.png", "large.png", "hero.avif"})
            site_.Put(QStringLiteral("/sizes/%1").arg(QLatin1String(name)),
                      ReadData(QStringLiteral("shown/pics/") + QLatin1String(name)),
                      QByteArray(name).endsWith(".png") ? "image/png" : "image/avif");
        const QString out = work_.path() + QStringLiteral("/sizes");
        const ProgramRun r = Extract({QStringLiteral("-q"), QStringLiteral("-d"), QStringLiteral("--jsonl"),
                                      QStringLiteral("--min-size=300x300"), QStringLiteral("-o"), out,
                                      site_.Url(QStringLiteral("/sizes/page.html"))});
        QVERIFY2(r.exitCode == 0, r.err);
        const QJsonObject o = QJsonDocument::fromJson(r.out).object();
        QCOMPARE(o.value(QStringLiteral("engine")).toString(), QStringLiteral("static"));
        QStringList list;
        for (const QJsonValue& v : o.value(QStringLiteral("list")).toArray())
            list << v[QStringLiteral("address")].toString();
        QCOMPARE(list, (QStringList{site_.Url(QStringLiteral("/sizes/large.png")), site_.Url(QStringLiteral("/sizes/hero.avif"))}));
        QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{QStringLiteral("hero.avif"), QStringLiteral("large.png")}));
        for (const char* name : {"/sizes/small.png", "/sizes/large.png", "/sizes/hero.avif"})
            QCOMPARE(site_.RequestCount(QLatin1String(name)), 1);
    }

    // --wait spaces the page loads of one host as it spaces the downloads.
    void waitSpacesThePageLoadsOfAHost() {
        TestHttpServer other;
        QByteArray list;
        for (const char* name : {"/paced/1.html", "/paced/2.html", "/paced/3.html"}) {
            site_.Put(QString::fromLatin1(name), "<html><body><img src=\"a.png\"></body></html>");
            list += site_.Url(QString::fromLatin1(name)).toUtf8() + "\n";
        }
        other.Put(QStringLiteral("/o.html"), "<html><body><img src=\"o.png\"></body></html>");
        list += other.Url(QStringLiteral("/o.html")).toUtf8() + "\n";
        const QString file = work_.path() + QStringLiteral("/paced.txt");
        WriteFile(file, list);
        QElapsedTimer clock;
        clock.start();
        const ProgramRun r = Extract({QStringLiteral("-q"), QStringLiteral("--no-robots"), QStringLiteral("--wait"),
                                      QStringLiteral("0.8"), QStringLiteral("-j"), QStringLiteral("4"),
                                      QStringLiteral("-i"), file});
        QVERIFY2(r.exitCode == 0, r.err);
        QVERIFY(clock.elapsed() >= 1600);  // the third page of the host began 2 x 0.8 s after the first
        QCOMPARE(r.out.count(".png\n"), 4);
    }

    // A list is a crawl: each site's robots.txt, read once, keeps it off what it disallows
    // (the page is not asked for, and counts as not loaded); --no-robots, or one ADDRESS of
    // a person's own, does not read it.
    void listsKeepOffWhatRobotsTxtDisallows() {
        TestHttpServer shop;
        shop.Put(QStringLiteral("/robots.txt"), "User-agent: *\nDisallow: /private/\n", "text/plain");
        shop.Put(QStringLiteral("/open.html"), "<html><body><img src=\"a.png\"></body></html>");
        shop.Put(QStringLiteral("/private/p.html"), "<html><body><img src=\"b.png\"></body></html>");
        const QString open = shop.Url(QStringLiteral("/open.html"));
        const QString closed = shop.Url(QStringLiteral("/private/p.html"));
        const ProgramRun r = Extract({QStringLiteral("-q"), QStringLiteral("--jsonl"), open, closed});
        QCOMPARE(r.exitCode, 1);
        const QList<QByteArray> lines = r.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        // Pages print as they end: the refused one first.
        const QJsonObject refused = QJsonDocument::fromJson(lines[0]).object();
        QCOMPARE(refused.value(QStringLiteral("address")).toString(), closed);
        QCOMPARE(refused.value(QStringLiteral("robots")).toString(), QStringLiteral("disallowed"));
        QCOMPARE(refused.value(QStringLiteral("status")).toString(), QStringLiteral("not loaded"));
        QVERIFY(!QJsonDocument::fromJson(lines[1]).object().contains(QStringLiteral("robots")));
        QVERIFY2(r.err.contains("robots.txt disallows it"), r.err);
        QCOMPARE(shop.RequestCount(QStringLiteral("/private/p.html")), 0);
        QCOMPARE(shop.RequestCount(QStringLiteral("/robots.txt")), 1);

        const ProgramRun all = Extract({QStringLiteral("-q"), QStringLiteral("--no-robots"), open, closed});
        QCOMPARE(all.exitCode, 0);
        QCOMPARE(shop.RequestCount(QStringLiteral("/private/p.html")), 1);
        const ProgramRun one = Extract({QStringLiteral("-q"), closed});
        QCOMPARE(one.exitCode, 0);
        QCOMPARE(shop.RequestCount(QStringLiteral("/robots.txt")), 1);
    }

    // --cookies: a login's cookies reach the page and its downloads, and only where a
    // browser sends them (a cookie of another host goes nowhere here).
    void cookieFileCarriesALogin_data() {
        QTest::addColumn<QString>("source");
        QTest::newRow("cookies.txt") << "file";
        QTest::newRow("Firefox profile") << "firefox";
        QTest::newRow("Chromium profile") << "chromium:Default";
    }
    void cookieFileCarriesALogin() {
        QFETCH(QString, source);
        TestHttpServer members;
        members.Put(QStringLiteral("/club/p.html"), "<html><body><img src=\"a.png\"></body></html>");
        members.Put(QStringLiteral("/club/a.png"), "members only", "image/png");
        // The cookie of the login alone: the others of the file or profile belong elsewhere.
        for (const char* path : {"/club/p.html", "/club/a.png"})
            members.Require(QString::fromLatin1(path), {"Cookie: member=yes"});
        const QString home = work_.path() + QStringLiteral("/home-") + source.left(4);
        const std::string h = home.toStdString() + "/";
        QStringList args{QStringLiteral("--cookies-from-browser"), source};
        if (source == QStringLiteral("file")) {
            args = QStringList{QStringLiteral("--cookies"), work_.path() + QStringLiteral("/cookies.txt")};
            WriteFile(args[1], "# Netscape HTTP Cookie File\n"
                               "#HttpOnly_127.0.0.1\tFALSE\t/club\tFALSE\t0\tmember\tyes\n"
                               "other.example\tFALSE\t/\tFALSE\t0\tstranger\tno\n");
        } else if (source == QStringLiteral("firefox")) {
            MakeFirefoxProfile(h, "abc.default-release", {});
            MakeDatabaseOf(h + ".mozilla/firefox/abc.default-release/cookies.sqlite",
                           ReadData(std::string_view("profiles/firefox-cookies.sql")));
        } else {
            MakeDatabaseOf(h + ".config/chromium/Default/Network/Cookies", ReadData(std::string_view("profiles/chromium-cookies.sql")));
        }
        const QString folder = work_.path() + QStringLiteral("/club-") + source.left(4);
        const ProgramRun r = Extract(QStringList{QStringLiteral("-dq")} + args +
                                         QStringList{QStringLiteral("-o"), folder, members.Url(QStringLiteral("/club/p.html"))},
                                     QString(), QString(), home);
        QVERIFY2(r.exitCode == 0, r.err);
        QCOMPARE(ReadFile(folder + QStringLiteral("/a.png")), QByteArray("members only"));
        // The value a keyring keeps is named, not sent.
        QCOMPARE(r.err.contains("1 of the cookies in") && r.err.contains("could not be decrypted") &&
                     r.err.contains("left out: keyring for site.test"),
                 source.startsWith(QStringLiteral("chromium")));
        if (source != QStringLiteral("file")) return;
        // Without the file the page refuses (403): it is not loaded.
        const ProgramRun without = Extract({QStringLiteral("-q"), members.Url(QStringLiteral("/club/p.html"))});
        QVERIFY(without.exitCode != 0 || without.out.isEmpty());
        WriteFile(args[1], "# nothing\n");
        const ProgramRun empty = Extract({QStringLiteral("--cookies"), args[1], members.Url(QStringLiteral("/club/p.html"))});
        QCOMPARE(empty.exitCode, 2);
        QVERIFY2(empty.err.contains("holds no cookie"), empty.err);
        // A browser without a profile is a usage error too.
        const ProgramRun none = Extract({QStringLiteral("--cookies-from-browser"), QStringLiteral("firefox"),
                                         members.Url(QStringLiteral("/club/p.html"))},
                                        QString(), QString(), home);
        QCOMPARE(none.exitCode, 2);
        QVERIFY2(none.err.contains("no Firefox profile with a cookies.sqlite under"), none.err);
    }

    // --proxy and --user-agent reach the engine and every download: a proxy on loopback
    // serves a host that only it knows, and answers only that User-Agent.
    void proxyAndUserAgentReachEveryRequest() {
        TestHttpServer proxy;
        const QString page = QStringLiteral("http://only.proxy.test/p.html");
        const QString picture = QStringLiteral("http://only.proxy.test/a.png");
        // The frame client reads the frame's page through the proxy too.
        const QString frame = QStringLiteral("http://frame.proxy.test/f.html");
        proxy.Put(page, "<html><body><img src=\"a.png\"><iframe src=\"http://frame.proxy.test/f.html\"></iframe></body></html>");
        proxy.Put(picture, "picture through the proxy", "image/png");
        proxy.Put(frame, "<html><body><img src=\"http://only.proxy.test/b.png\"></body></html>");
        proxy.Put(QStringLiteral("http://only.proxy.test/b.png"), "framed picture", "image/png");
        for (const QString& path : {page, picture, frame}) proxy.Require(path, {"User-Agent: TestAgent/1 (proxy test)"});
        const QString folder = work_.path() + QStringLiteral("/proxied");
        const ProgramRun r = Extract({QStringLiteral("-dq"), QStringLiteral("--proxy"), proxy.Origin(),
                                      QStringLiteral("--user-agent"), QStringLiteral("TestAgent/1 (proxy test)"),
                                      QStringLiteral("-o"), folder, page});
        QVERIFY2(r.exitCode == 0, r.err);
        QCOMPARE(r.out, QByteArray("http://only.proxy.test/a.png\nhttp://only.proxy.test/b.png\n"));
        QCOMPARE(ReadFile(folder + QStringLiteral("/a.png")), QByteArray("picture through the proxy"));
        QCOMPARE(ReadFile(folder + QStringLiteral("/b.png")), QByteArray("framed picture"));
        QCOMPARE(proxy.RequestCount(picture), 1);
        QCOMPARE(proxy.RequestCount(frame), 2);  // the engine's and the frame client's
    }

    // -d downloads the pictures found so far while the style sheets are still being read:
    // the program's own fetch of the sheet is answered only once a picture of the page
    // has been asked for. The list and the files are those of a download after the list.
    void downloadsStartWhileStyleSheetsAreRead() {
        site_.Put(QStringLiteral("/early/page.html"),
                  "<html><head><link rel=\"stylesheet\" href=\"s.css\"></head>"
                  "<body><img src=\"a.png\"><div class=\"x\"></div><img src=\"a.png\"></body></html>");
        site_.Put(QStringLiteral("/early/s.css"), ".x { background: url(b.png); }", "text/css");
        site_.Put(QStringLiteral("/early/a.png"), "first", "image/png");
        site_.Put(QStringLiteral("/early/b.png"), "second", "image/png");
        site_.AnswerAfter(QStringLiteral("/early/s.css"), QStringLiteral("/early/a.png"), 1);
        const QString out = work_.path() + QStringLiteral("/early");
        const ProgramRun r = Extract({QStringLiteral("-d"), QStringLiteral("-q"), QStringLiteral("-o"), out,
                               site_.Url(QStringLiteral("/early/page.html"))});
        QVERIFY2(r.exitCode == 0, r.err);
        QCOMPARE(r.lines(), (QStringList{site_.Url(QStringLiteral("/early/a.png")), site_.Url(QStringLiteral("/early/b.png"))}));
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{QStringLiteral("a.png"), QStringLiteral("b.png"), QStringLiteral("s.css")}));
        QCOMPARE(site_.RequestCount(QStringLiteral("/early/a.png")), 1);
    }

    // Without -o the style sheets go into a private temporary folder that is gone at exit.
    void temporarySaveFolderIsRemoved() {
        QtTempFolder tmp;
        const ProgramRun r = Extract({QStringLiteral("-t"), QStringLiteral("css"), QStringLiteral("-d"), QStringLiteral("--json"), Page()},
                              QString(), tmp.path());
        QCOMPARE(r.exitCode, 0);
        const QJsonArray records =
            QJsonDocument::fromJson(r.out).object().value(QStringLiteral("downloads")).toArray();
        QCOMPARE(records.size(), 1);
        const QString file = records[0].toObject().value(QStringLiteral("file")).toString();
        QVERIFY2(file.startsWith(tmp.path() + QLatin1Char('/')) && file.endsWith(QStringLiteral("/site.css")), qPrintable(file));
        QVERIFY(!QFile::exists(file));
        // (Qt itself may leave its runtime folder there.)
        QCOMPARE(QDir(tmp.path()).entryList({QStringLiteral("nuv-extract*")}, QDir::AllEntries | QDir::Hidden), QStringList{});
    }

    void localPageByRelativePath() {
        const QString dir = work_.path() + QStringLiteral("/local");
        QVERIFY(QDir().mkpath(dir));
        WriteFile(dir + QStringLiteral("/page.html"), "<html><body><p>local marker</p></body></html>");
        for (const QString& arg : {QStringLiteral("./page.html"), QStringLiteral("page.html")}) {
            const ProgramRun r = Extract({QStringLiteral("-t"), QStringLiteral("text"), QStringLiteral("--json"), arg}, dir);
            QCOMPARE(r.exitCode, 0);
            const QJsonObject o = QJsonDocument::fromJson(r.out).object();
            QCOMPARE(o.value(QStringLiteral("address")).toString(), QUrl::fromLocalFile(dir + QStringLiteral("/page.html")).toString());
            QCOMPARE(o.value(QStringLiteral("text")).toString(), QStringLiteral("local marker"));
        }
    }

    // What real sites serve: a folder with a blank and Chinese names, a picture served
    // only with the page's cookie and Referer, and a page opened from a file.
    void pagesAsRealSitesWriteThem() {
        const QString page = QStringLiteral("/sp%20ace/%E9%A1%B5%E9%9D%A2.html");
        site_.Put(page, "<html><body><img src=\"a.gif\"><img src=\"\xe5\x9b\xbe.gif\">"
                        "<img src=\"/sp%20ace/b%20c.gif\"><img src=\"guarded.gif\"></body></html>");
        site_.SetResponseHeaders(page, "Set-Cookie: session=abc; Path=/\r\n");
        for (const char* name : {"/sp%20ace/a.gif", "/sp%20ace/%E5%9B%BE.gif", "/sp%20ace/b%20c.gif",
                                 "/sp%20ace/guarded.gif"})
            site_.Put(QString::fromLatin1(name), QByteArray("GIF89a") + name, "image/gif");
        site_.Require(QStringLiteral("/sp%20ace/guarded.gif"),
                      {"Cookie: session=abc", "Referer: " + site_.Url(page).toUtf8()});
        const QString out = work_.path() + QStringLiteral("/real-site");
        const ProgramRun r = Extract({QStringLiteral("-d"), QStringLiteral("-o"), out, site_.Url(page)});
        QVERIFY2(r.exitCode == 0, r.err);
        QCOMPARE(r.lines(), (QStringList{site_.Url(QStringLiteral("/sp%20ace/a.gif")),
                                         site_.Url(QStringLiteral("/sp%20ace/图.gif")),
                                         site_.Url(QStringLiteral("/sp%20ace/b%20c.gif")),
                                         site_.Url(QStringLiteral("/sp%20ace/guarded.gif"))}));
        for (const char* file : {"a.gif", "图.gif", "b%20c.gif", "guarded.gif"})
            QVERIFY2(QFile::exists(out + QLatin1Char('/') + QString::fromUtf8(file)), file);

        // A local page: its style sheet resolves against its own folder and is copied.
        const QString dir = work_.path() + QStringLiteral("/local css");
        WriteFile(dir + QStringLiteral("/page.html"),
                  "<html><head><link rel=\"stylesheet\" href=\"css/style.css\"></head><body>x</body></html>");
        WriteFile(dir + QStringLiteral("/css/style.css"), "body { color: red; }");
        const ProgramRun local = Extract({QStringLiteral("-t"), QStringLiteral("css"), QStringLiteral("-o"),
                                   QStringLiteral("saved"), QStringLiteral("./page.html")}, dir);
        QVERIFY2(local.exitCode == 0, local.err);
        QCOMPARE(local.lines(), QStringList{QUrl::fromLocalFile(dir + QStringLiteral("/css/style.css")).toString(QUrl::FullyEncoded)});
        QVERIFY(QFile::exists(dir + QStringLiteral("/saved/style.css")));
    }

    // A style sheet or a frame that never ends its answer does not keep the page from
    // being extracted: once the document is there, it is read as it stands.
    void pageWhoseResourcesNeverFinish() {
        site_.Hold(QStringLiteral("/never.css"));
        site_.Hold(QStringLiteral("/never-frame.html"));
        site_.Put(QStringLiteral("/held.html"),
                  "<html><head><link rel=\"stylesheet\" href=\"never.css\"></head><body>"
                  "<img src=\"pics/held.gif\"><iframe src=\"never-frame.html\"></iframe></body></html>");
        const ProgramRun r = Extract({site_.Url(QStringLiteral("/held.html"))});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains(site_.Url(QStringLiteral("/pics/held.gif")).toUtf8()), r.out);
        QVERIFY2(r.err.contains("extracted as it stands"), r.err);
    }

    // A page whose links aim past the web (tests/data/hostile/): nothing reaches the local
    // service, the local file is not copied, and the page's real download still arrives.
    void hostilePageReachesNothingBeyondIt() {
        QTcpServer service;
        QVERIFY(service.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
        int reached = 0;
        connect(&service, &QTcpServer::newConnection, this, [&] {
            while (QTcpSocket* s = service.nextPendingConnection()) {
                ++reached;
                s->deleteLater();
            }
        });
        const QString secret = work_.path() + QStringLiteral("/id_rsa");
        WriteFile(secret, "private key");
        QByteArray page = ReadData(QStringLiteral("hostile/other-schemes.html"));
        page.replace("@PORT@", QByteArray::number(service.serverPort())).replace("@SECRET@", secret.toUtf8());
        site_.Put(QStringLiteral("/hostile/downloads.html"), page);
        site_.Put(QStringLiteral("/hostile/pack.zip"), QByteArray("zip bytes"), "application/zip");

        const QString folder = work_.path() + QStringLiteral("/hostile");
        const ProgramRun r = Extract({QStringLiteral("-t"), QStringLiteral("other"), QStringLiteral("-d"), QStringLiteral("-o"),
                               folder, site_.Url(QStringLiteral("/hostile/downloads.html"))});
        QCOMPARE(r.exitCode, 3);
        QVERIFY2(r.err.contains("other: found 4, downloaded 1, failed 3"), r.err);
        QCOMPARE(r.err.count("refused"), 3);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("pack.zip")});
        // Connections are accepted in order: the test's own one comes first unless the run made one.
        QTcpSocket own;
        own.connectToHost(QHostAddress(QStringLiteral("127.0.0.1")), service.serverPort());
        QTRY_VERIFY(reached > 0);
        QCOMPARE(reached, 1);

        // Their pictures are read through the page's style sheets, by either engine: the
        // file's sheet would name a picture of the local service.
        WriteFile(secret + QStringLiteral(".css"),
                  "p { background: url(http://127.0.0.1:" + QByteArray::number(service.serverPort()) + "/leak.png) }");
        site_.Put(QStringLiteral("/hostile/shown.png"), QByteArray("png bytes"), "image/png");
        for (const char* engine : {"auto", "static"}) {
            const QString pictures = work_.path() + QStringLiteral("/hostile-") + QString::fromLatin1(engine);
            const ProgramRun p = Extract({QStringLiteral("--engine"), QString::fromLatin1(engine), QStringLiteral("-d"),
                                          QStringLiteral("-o"), pictures, site_.Url(QStringLiteral("/hostile/downloads.html"))});
            QVERIFY2(p.lines() == QStringList{site_.Url(QStringLiteral("/hostile/shown.png"))}, p.out + p.err);
            QCOMPARE(QDir(pictures).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("shown.png")});
        }
        QTcpSocket again;
        again.connectToHost(QHostAddress(QStringLiteral("127.0.0.1")), service.serverPort());
        QTRY_VERIFY(reached > 1);
        QCOMPARE(reached, 2);
    }

    // Pages that would climb out of the save folder through the page folder of --layout
    // page: the query of the address, or an address the page gives itself.
    void pageFoldersStayInTheSaveFolder_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("folder");
        QTest::newRow("query") << "climb.html" << "/t.html?x=/../../../E1" << "t.html?x=_.._.._.._E1";
        QTest::newRow("replaceState") << "replace-state.html" << "/p.html" << "p.html?y=_.._.._.._E2";
    }
    void pageFoldersStayInTheSaveFolder() {
        QFETCH(QString, file);
        QFETCH(QString, address);
        QFETCH(QString, folder);
        site_.Put(address.section(QLatin1Char('?'), 0, 0), ReadData(QStringLiteral("hostile/") + file));
        site_.Put(QStringLiteral("/f.zip"), QByteArray("zip bytes"), "application/zip");
        const QString base = work_.path() + QStringLiteral("/climb-") + QString::fromLatin1(QTest::currentDataTag());
        const QString out = base + QStringLiteral("/out");
        const QString list = base + QStringLiteral(".txt");
        WriteFile(list, site_.Url(address).toUtf8() + "\n");
        const ProgramRun r = Extract({QStringLiteral("-t"), QStringLiteral("other"), QStringLiteral("-d"),
                                      QStringLiteral("--layout"), QStringLiteral("page"), QStringLiteral("-o"), out,
                                      QStringLiteral("-i"), list});
        QCOMPARE(r.exitCode, 0);
        const QString host = site_.Origin().mid(7);
        QCOMPARE(ReadFile(out + QLatin1Char('/') + host + QLatin1Char('/') + folder + QStringLiteral("/f.zip")),
                 QByteArray("zip bytes"));
        QCOMPARE(QDir(base).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("out")});
    }

    // A list is data: a local file it names is refused unless asked for, and a NUL byte
    // makes it no list at all.
    void listsNameWebPagesOnly() {
        const QString secret = work_.path() + QStringLiteral("/secret.html");
        WriteFile(secret, "<html><body>the secret text</body></html>");
        const QString list = work_.path() + QStringLiteral("/local-list.txt");
        WriteFile(list, "file://" + secret.toUtf8() + "\n" + secret.toUtf8() + "\nsecret.html\n");
        ProgramRun r = Extract({QStringLiteral("-t"), QStringLiteral("text"), QStringLiteral("--jsonl"),
                                QStringLiteral("-i"), list}, work_.path());
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(!r.out.contains("the secret text"), r.out);
        QCOMPARE(r.err.count("refused: a list names web pages"), 2);
        r = Extract({QStringLiteral("-t"), QStringLiteral("text"), QStringLiteral("--allow-local-files"),
                     QStringLiteral("-i"), list}, work_.path());
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.count("the secret text"), 3);
        WriteFile(list, site_.Url(QStringLiteral("/a.html")).toUtf8() + QByteArray("\n#\0\n", 4));
        r = Extract({QStringLiteral("-i"), list});
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains("line 2 of the list holds a NUL byte"), r.err);
    }

    // What a page writes reaches the terminal and a reader of JSON Lines as one entry a
    // line, and a file name of 300 bytes is shortened, not refused.
    void pageTextCannotForgeLines() {
        const QByteArray longName = QByteArray(296, 'n') + ".zip";
        QByteArray page = ReadData(QStringLiteral("hostile/terminal.html"));
        page.replace("@LONG@", longName);
        site_.Put(QStringLiteral("/hostile/terminal.html"), page);
        site_.Put(QStringLiteral("/hostile/") + QString::fromLatin1(longName), QByteArray("long file"), "application/zip");
        const QString address = site_.Url(QStringLiteral("/hostile/terminal.html"));
        ProgramRun r = Extract({address});
        QVERIFY2(!r.out.contains('\x1b') && !r.err.contains('\x1b'), r.out + r.err);
        QCOMPARE(r.lines().size(), 2);  // the forged line and the separated one
        for (const QString& line : r.lines()) QVERIFY2(line.startsWith(QStringLiteral("http://127.0.0.1:")), qPrintable(line));
        QVERIFY2(r.out.contains("x\\x1b[31mRED\\n//injected.example/y.png"), r.out);

        const QString out = work_.path() + QStringLiteral("/terminal");
        r = Extract({QStringLiteral("-t"), QStringLiteral("other"), QStringLiteral("-d"), QStringLiteral("-o"), out, address});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(ReadFile(out + QLatin1Char('/') + QString::fromLatin1(QByteArray(251, 'n') + ".zip")),
                 QByteArray("long file"));

        const QString list = work_.path() + QStringLiteral("/terminal.txt");
        WriteFile(list, address.toUtf8() + "\n");
        r = Extract({QStringLiteral("--jsonl"), QStringLiteral("-i"), list});
        QVERIFY2(!r.out.contains("\xe2\x80\xa8") && !r.out.contains('\x1b'), r.out);
        QCOMPARE(r.lines().size(), 1);
        QJsonParseError error;
        QJsonDocument::fromJson(r.out, &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
    }

    void pageThatCannotBeLoaded() {
        const QString refused = QStringLiteral("http://127.0.0.1:%1/").arg(ClosedPort());
        ProgramRun r = Extract({refused});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("cannot load " + refused.toUtf8() + ": connection failed"), r.err);
        QVERIFY(r.out.isEmpty());

        r = Extract({site_.Url(QStringLiteral("/no-such-page.html"))});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("HTTP status 404"), r.err);

        RudeServer silent(RudeServer::Mode::Silent);
        r = Extract({QStringLiteral("--timeout"), QStringLiteral("1"), silent.Url(QStringLiteral("/"))});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("no answer within 1 seconds"), r.err);

        r = Extract({QStringLiteral("./no-such-file.html")}, work_.path());
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("cannot load file://"), r.err);
    }

    // A program whose engine module is missing (a broken installation) still reads the
    // pages that need no engine; those that need it fail, saying why.
    void withoutItsEngineOnlyThePagesThatNeedItFail() {
        const QString bare = work_.path() + QStringLiteral("/bare");
        QVERIFY(QDir().mkpath(bare));
        const QString exe = bare + QStringLiteral("/nuv-extract");
        QFile::remove(exe);
        QVERIFY(QFile::copy(QStringLiteral(NUV_EXTRACT_EXE), exe));
        site_.Put(QStringLiteral("/bare/plain.html"), "<html><body><img src=\"a.png\"></body></html>");
        site_.Put(QStringLiteral("/bare/script.html"), "<html><body><script>document.title = 'x';</script></body></html>");
        QProcessEnvironment env = ScriptEnvironment();
        if (geteuid() == 0) env.remove(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"));
        const ProgramRun r = RunProgram(exe, {QStringLiteral("-q"), QStringLiteral("--jsonl"),
                                              site_.Url(QStringLiteral("/bare/plain.html")),
                                              site_.Url(QStringLiteral("/bare/script.html"))},
                                        env, bare);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("the browser engine cannot be loaded: nuv-extract-engine.so was not found"), r.err);
        QMap<QString, QJsonObject> pages;
        for (const QByteArray& line : r.out.split('\n'))
            if (!line.isEmpty()) {
                const QJsonObject o = QJsonDocument::fromJson(line).object();
                pages[o.value(QStringLiteral("address")).toString()] = o;
            }
        const QJsonObject plain = pages.value(site_.Url(QStringLiteral("/bare/plain.html")));
        QCOMPARE(plain.value(QStringLiteral("engine")).toString(), QStringLiteral("static"));
        QCOMPARE(plain.value(QStringLiteral("list")).toArray().size(), 1);
        QVERIFY(pages.contains(site_.Url(QStringLiteral("/bare/script.html"))));
    }

    void usageErrors_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--bogus"), Page()} << QByteArray("unknown option --bogus");
        QTest::newRow("no address") << QStringList{QStringLiteral("-d")} << QByteArray("no ADDRESS given");
        QTest::newRow("bad type") << QStringList{QStringLiteral("-t"), QStringLiteral("video"), Page()}
                                  << QByteArray("unknown type 'video'");
        QTest::newRow("bad timeout") << QStringList{QStringLiteral("--timeout"), QStringLiteral("soon"), Page()}
                                     << QByteArray("--timeout needs a positive number");
        QTest::newRow("bad retries") << QStringList{QStringLiteral("--retries"), QStringLiteral("21"), Page()}
                                     << QByteArray("--retries needs a number of tries again from 0 to 20");
    }
    void usageErrors() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, message);
        const ProgramRun r = Extract(args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(message), r.err);
        QVERIFY(r.err.contains("Usage: nuv-extract [options] ADDRESS"));
        QVERIFY(r.out.isEmpty());
    }

    // An archive with something in it that nuv-extract did not make is refused before any
    // page loads, as a usage error that says why. As root the run says once that the
    // browser's sandbox is off.
    void foreignArchiveIsRefused() {
        const QString archive = work_.path() + QStringLiteral("/foreign.sqlite");
        for (const std::vector<std::string>& row : ReadTable("archive/schemas.txt"))
            if (row.at(0) == "a trigger") RunSql(ToUtf8(archive), row.at(1));
        const int before = site_.RequestCount(QStringLiteral("/index.html"));
        const ProgramRun r = Extract({QStringLiteral("-d"), QStringLiteral("--archive"), archive, QStringLiteral("-o"),
                                      work_.path() + QStringLiteral("/foreign"), Page()});
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains("foreign.sqlite as the archive: it holds a trigger \"wipe\""), r.err);
        QVERIFY(r.out.isEmpty());
        QCOMPARE(site_.RequestCount(QStringLiteral("/index.html")), before);
        QCOMPARE(r.err.count("nuv-extract: running as root with the browser sandbox off"), geteuid() == 0 ? 1 : 0);
    }

    void helpDocumentsEveryOption() {
        const ProgramRun r = Extract({QStringLiteral("--help")});
        QCOMPARE(r.exitCode, 0);
        for (const char* option : {"-t, --type TYPE", "-o, --save-to DIR", "-d, --download", "--json", "--timeout SEC",
                                   "-q, --quiet", "-v, --verbose", "-h, --help", "--version", "source | text | images | flash | css | other"})
            QVERIFY2(r.out.contains(option), option);
        const ProgramRun v = Extract({QStringLiteral("--version")});
        QCOMPARE(v.exitCode, 0);
        QVERIFY(v.out.startsWith("nuv-extract ("));
        QVERIFY(v.out.contains(" 2.2\nFlash playback: "));
        QVERIFY(v.out.endsWith("\n"));
    }

    // Last, since it moves this thread into a network of its own (unshare -n): a page on a
    // public address (198.51.100.7) that links a service on 127.0.0.1, directly and through
    // a redirect, and a robots.txt that redirects there. The service hears nothing;
    // --allow-private-network lifts the rule.
    void publicPageNeverReachesThePrivateNetwork() {
        if (unshare(CLONE_NEWNET) != 0) QSKIP("no network namespace can be made here (unshare: needs root)");
        if (std::system("ip link set lo up && ip addr add 198.51.100.7/32 dev lo") != 0)
            QSKIP("the test's network namespace cannot be set up (ip)");
        QTcpServer service;
        QVERIFY(service.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
        int heard = 0;
        connect(&service, &QTcpServer::newConnection, this, [&] {
            while (QTcpSocket* s = service.nextPendingConnection()) {
                ++heard;
                s->write("HTTP/1.0 200 OK\r\nContent-Length: 6\r\nConnection: close\r\n\r\nsecret");
                s->disconnectFromHost();
            }
        });
        TestHttpServer outside(QHostAddress(QStringLiteral("198.51.100.7")));
        QVERIFY(outside.isListening());
        const QByteArray inside = QByteArrayLiteral("http://127.0.0.1:") + QByteArray::number(service.serverPort());
        outside.Put(QStringLiteral("/page.html"), "<a href=\"" + inside + "/direct.zip\">d</a><a href=\"/r.zip\">r</a>"
                                                  "<a href=\"/ok.zip\">ok</a>");
        outside.Redirect(QStringLiteral("/r.zip"), inside + "/r.zip");
        outside.Put(QStringLiteral("/ok.zip"), "zip", "application/zip");
        const QString out = work_.path() + QStringLiteral("/public");
        const QStringList args{QStringLiteral("-t"), QStringLiteral("other"), QStringLiteral("-d"), QStringLiteral("--json"),
                               QStringLiteral("-o"), out, outside.Url(QStringLiteral("/page.html"))};
        ProgramRun r = Extract(args);
        QCOMPARE(r.exitCode, 3);
        QCOMPARE(r.err.count("private network address 127.0.0.1"), 2);
        QCOMPARE(r.out.count("private network address"), 2);
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("ok.zip")});
        QCOMPARE(heard, 0);
        // A list run asks the public site for its robots.txt, which redirects inside: the
        // redirect is refused like any other, and the site then counts as having none.
        outside.Redirect(QStringLiteral("/robots.txt"), inside + "/robots.txt");
        outside.Put(QStringLiteral("/plain.html"), "<p>plain</p>");
        r = Extract({QStringLiteral("-q"), QStringLiteral("--jsonl"), outside.Url(QStringLiteral("/page.html")),
                     outside.Url(QStringLiteral("/plain.html"))});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(outside.RequestCount(QStringLiteral("/robots.txt")), 1);
        QCOMPARE(outside.RequestCount(QStringLiteral("/plain.html")), 1);
        QCOMPARE(heard, 0);
        r = Extract(QStringList{QStringLiteral("--allow-private-network")} + args);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(heard, 2);
        QCOMPARE(ReadFile(out + QStringLiteral("/direct.zip")), QByteArray("secret"));
    }
};

NUV_GUI_TEST_MAIN(CliTest)
#include "cli_test.moc"
