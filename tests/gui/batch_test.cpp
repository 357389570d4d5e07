// nuv-extract over many pages, end to end: address lists, JSON Lines, the layouts of the
// save folder, the archive with an interrupted run, and shards run by GNU parallel. The
// pages are served on 127.0.0.1 by the test.
#include <archive.h>
#include <archive_entry.h>
#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include "support/DrawnPictures.h"
#include "support/Fakes.h"
#include "support/FixtureSite.h"
#include "support/ProgramRun.h"
#include "support/TestHttpServer.h"

using namespace nuv::test;

namespace {

// nuv-extract (or a command that starts it) as a script starts it, read while it runs.
class Cli {
public:
    explicit Cli(const QString& program = QStringLiteral(NUV_EXTRACT_EXE)) : program_(program) {
        QProcessEnvironment env = ScriptEnvironment();
        if (geteuid() == 0) env.remove(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"));
        p_.setProcessEnvironment(env);
        QObject::connect(&p_, &QProcess::readyReadStandardOutput, [this] { out_ += p_.readAllStandardOutput(); });
    }
    void Start(const QStringList& args, const QByteArray& input = {}) {
        p_.start(program_, args);
        p_.waitForStarted();
        if (!input.isEmpty()) p_.write(input);
        p_.closeWriteChannel();
    }
    // Waits for the end; -1 when it did not end in time or crashed.
    int Wait(int ms = 240000) {
        if (p_.state() != QProcess::NotRunning) {
            QEventLoop loop;
            QObject::connect(&p_, &QProcess::finished, &loop, &QEventLoop::quit);
            QTimer::singleShot(ms, &loop, &QEventLoop::quit);
            loop.exec();
        }
        if (p_.state() != QProcess::NotRunning) {
            p_.kill();
            p_.waitForFinished();
            return -1;
        }
        out_ += p_.readAllStandardOutput();
        err_ += p_.readAllStandardError();
        return p_.exitStatus() == QProcess::NormalExit ? p_.exitCode() : -1;
    }
    int Run(const QStringList& args, const QByteArray& input = {}) {
        Start(args, input);
        return Wait();
    }
    void Signal(int sig) { ::kill(static_cast<pid_t>(p_.processId()), sig); }
    const QByteArray& Out() const { return out_; }
    QByteArray Err() { return err_ += p_.readAllStandardError(); }
    // The JSON objects of the lines written so far; a line that does not parse fails.
    QList<QJsonObject> Lines() const {
        QList<QJsonObject> objects;
        for (const QByteArray& line : out_.split('\n')) {
            if (line.isEmpty()) continue;
            QJsonParseError error{};
            const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
            if (error.error != QJsonParseError::NoError || !doc.isObject()) return {};
            objects << doc.object();
        }
        return objects;
    }

private:
    QString program_;
    QProcess p_;
    QByteArray out_, err_;
};

// Every file under `folder`, hidden ones too, as paths relative to it.
QStringList FilesUnder(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

// The rows of an archive: address, file and size.
struct ArchiveRow {
    QString address, file;
    qint64 size = 0;
};
QList<ArchiveRow> ArchiveRows(const QString& path) {
    QList<ArchiveRow> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT address, file, size FROM downloads", -1, &s, nullptr) == SQLITE_OK) {
            while (sqlite3_step(s) == SQLITE_ROW) {
                rows.append({QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0))),
                             QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 1))),
                             sqlite3_column_int64(s, 2)});
            }
        }
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return rows;
}

// The entries of a ZIP file, in their order: name and bytes; none when it is no ZIP.
QList<QPair<QString, QByteArray>> ZipEntries(const QString& path) {
    QList<QPair<QString, QByteArray>> entries;
    struct archive* zip = archive_read_new();
    archive_read_support_format_zip(zip);
    if (archive_read_open_filename(zip, path.toUtf8().constData(), 1 << 16) == ARCHIVE_OK) {
        archive_entry* e = nullptr;
        while (archive_read_next_header(zip, &e) == ARCHIVE_OK) {
            QByteArray bytes;
            char buffer[1 << 14];
            la_ssize_t got = 0;
            while ((got = archive_read_data(zip, buffer, sizeof buffer)) > 0) bytes.append(buffer, got);
            entries.append({QString::fromUtf8(archive_entry_pathname(e)), bytes});
        }
    }
    archive_read_free(zip);
    return entries;
}

// "address file" of every row.
QSet<QString> ArchiveKeys(const QString& path) {
    QSet<QString> keys;
    for (const ArchiveRow& r : ArchiveRows(path)) keys << r.address + QLatin1Char(' ') + r.file;
    return keys;
}

QStringList Strings(const QJsonArray& a, const QString& key) {
    QStringList l;
    for (const QJsonValue& v : a) l << v.toObject().value(key).toString();
    return l;
}

}  // namespace

class BatchTest : public QObject {
    Q_OBJECT

private:
    TestHttpServer site_;
    QtTempFolder work_;
    // What the site serves under each picture address.
    QMap<QString, QByteArray> pictures_;

    QString Url(const QString& path) const { return site_.Url(path); }
    QString Dir(const QString& name) const { return work_.path() + QLatin1Char('/') + name; }

    void PutPicture(const QString& path) {
        const QByteArray body = "PNG of " + path.toUtf8();
        site_.Put(path, body, "image/png");
        pictures_.insert(Url(path), body);
    }

    // A gallery page as sites write them: its own pictures, one picture named as every
    // other page names its own, the site's logo, a style sheet and a frame.
    void PutGalleryPage(const QString& dir, int n) {
        const QString k = QString::number(n);
        site_.Put(dir + QStringLiteral("p") + k + QStringLiteral(".html"),
                  "<html><head><link rel=\"stylesheet\" href=\"s.css\"></head><body><img src=\"img/" + k.toUtf8() +
                      ".png\"><img src=\"p" + k.toUtf8() + "/same.png\"><img src=\"img/logo.png\"><iframe src=\"f" +
                      k.toUtf8() + ".html\"></iframe></body></html>");
        site_.Put(dir + QStringLiteral("f") + k + QStringLiteral(".html"),
                  "<html><body><img src=\"img/f" + k.toUtf8() + ".png\"></body></html>");
        for (const QString& p : {QStringLiteral("img/") + k, QStringLiteral("p") + k + QStringLiteral("/same"),
                                 QStringLiteral("img/f") + k, QStringLiteral("img/logo"), QStringLiteral("img/bg")})
            PutPicture(dir + p + QStringLiteral(".png"));
        site_.Put(dir + QStringLiteral("s.css"), ".x { background: url(img/bg.png) }", "text/css");
    }

    // A page `dir`/index.html of a picture, a byte copy of it under another address, a
    // copy scaled to half and a different picture, in that order. Returns their addresses.
    QStringList PutAlikePage(const QString& dir) {
        const QByteArray picture = DrawnPicture(64, 48);
        const QList<QPair<QString, QByteArray>> served = {{dir + QStringLiteral("a.png"), picture},
                                                          {dir + QStringLiteral("copy/a.png"), picture},
                                                          {dir + QStringLiteral("small.png"), DrawnPicture(32, 24)},
                                                          {dir + QStringLiteral("other.png"), DrawnPicture(64, 48, true)}};
        QByteArray page = "<html><body>";
        QStringList addresses;
        for (const auto& [path, bytes] : served) {
            site_.Put(path, bytes, "image/png");
            pictures_.insert(Url(path), bytes);
            page += "<img src=\"" + path.toUtf8() + "\">";
            addresses << Url(path);
        }
        site_.Put(dir + QStringLiteral("index.html"), page + "</body></html>");
        return addresses;
    }

    // Each file of a run holds what the site serves for the address its record names.
    void VerifyRecordedFiles(const QList<QJsonObject>& lines) {
        for (const QJsonObject& page : lines) {
            for (const QJsonValue& v : page.value(QStringLiteral("downloads")).toArray()) {
                const QJsonObject d = v.toObject();
                if (d.value(QStringLiteral("outcome")).toString() == QLatin1String("failed")) continue;
                const QString address = d.value(QStringLiteral("address")).toString();
                QVERIFY2(pictures_.contains(address), qPrintable(address));
                QCOMPARE(ReadFile(d.value(QStringLiteral("file")).toString()), pictures_.value(address));
            }
        }
    }

private slots:
    void initTestCase() {
        QVERIFY(site_.isListening());
        for (int n = 1; n <= 3; ++n) PutGalleryPage(QStringLiteral("/g/"), n);
    }

    // A list with a comment, a blank line, a repeated address and a page that cannot be
    // loaded: one JSON line a page, each entry with where it was found; the pages' equal
    // names are numbered, shared files are written once, and the run says a page failed.
    void listToJsonLinesInOneFlatFolder() {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
        const QString dead = QStringLiteral("http://127.0.0.1:%1/gone.html").arg(closed.serverPort());
        closed.close();
        const QString list = Dir(QStringLiteral("list.txt"));
        WriteFile(list, "# the gallery\n" + Url(QStringLiteral("/g/p1.html")).toUtf8() + "\n\n" +
                            Url(QStringLiteral("/g/p2.html")).toUtf8() + "\r\n  " + dead.toUtf8() + "\n" +
                            Url(QStringLiteral("/g/p1.html")).toUtf8() + "\n");
        const QString out = Dir(QStringLiteral("flat"));
        Cli cli;
        const int status = cli.Run({QStringLiteral("-i"), list, Url(QStringLiteral("/g/p3.html")), QStringLiteral("--jsonl"),
                                    QStringLiteral("-d"), QStringLiteral("-o"), out});
        QCOMPARE(status, 1);
        const QList<QJsonObject> lines = cli.Lines();
        QCOMPARE(lines.size(), 4);
        QVERIFY2(cli.Err().contains("pages: 4, done 3, not loaded 1; images: found 15, downloaded 15, failed 0"), cli.Err());
        QSet<QString> addresses;
        for (const QJsonObject& page : lines) {
            const QString address = page.value(QStringLiteral("address")).toString();
            addresses << address;
            if (address == dead) {
                QCOMPARE(page.value(QStringLiteral("status")).toString(), QStringLiteral("not loaded"));
                QVERIFY(!page.value(QStringLiteral("errors")).toArray().isEmpty());
                continue;
            }
            QCOMPARE(page.value(QStringLiteral("status")).toString(), QStringLiteral("done"));
            QCOMPARE(page.value(QStringLiteral("final")).toString(), address);
            const QString k = address.section(QLatin1Char('p'), -1).section(QLatin1Char('.'), 0, 0);
            const QJsonArray found = page.value(QStringLiteral("list")).toArray();
            QCOMPARE(Strings(found, QStringLiteral("address")),
                     (QStringList{Url(QStringLiteral("/g/img/%1.png").arg(k)), Url(QStringLiteral("/g/p%1/same.png").arg(k)),
                                  Url(QStringLiteral("/g/img/logo.png")), Url(QStringLiteral("/g/img/bg.png")),
                                  Url(QStringLiteral("/g/img/f%1.png").arg(k))}));
            QCOMPARE(Strings(found, QStringLiteral("found")),
                     (QStringList{QStringLiteral("page"), QStringLiteral("page"), QStringLiteral("page"),
                                  QStringLiteral("sheet"), QStringLiteral("frame")}));
            QCOMPARE(Strings(page.value(QStringLiteral("downloads")).toArray(), QStringLiteral("outcome")),
                     QStringList(5, QStringLiteral("saved")));
            QVERIFY(page.value(QStringLiteral("times")).toObject().value(QStringLiteral("total_ms")).toInt() > 0);
        }
        QCOMPARE(addresses, (QSet<QString>{Url(QStringLiteral("/g/p1.html")), Url(QStringLiteral("/g/p2.html")),
                                           Url(QStringLiteral("/g/p3.html")), dead}));
        VerifyRecordedFiles(lines);
        QCOMPARE(FilesUnder(out), (QStringList{QStringLiteral("1.png"), QStringLiteral("2.png"), QStringLiteral("3.png"),
                                               QStringLiteral("bg.png"), QStringLiteral("f1.png"), QStringLiteral("f2.png"),
                                               QStringLiteral("f3.png"), QStringLiteral("logo.png"), QStringLiteral("s.css"),
                                               QStringLiteral("same (2).png"), QStringLiteral("same (3).png"),
                                               QStringLiteral("same.png")}));

        // Plain lines from standard input: a header a page, then its list.
        Cli plain;
        QCOMPARE(plain.Run({QStringLiteral("-i"), QStringLiteral("-"), QStringLiteral("-tcss")},
                           Url(QStringLiteral("/g/p1.html")).toUtf8() + "\n" + Url(QStringLiteral("/g/p2.html")).toUtf8()),
                 0);
        const QByteArray css = Url(QStringLiteral("/g/s.css")).toUtf8();
        for (const char* page : {"/g/p1.html", "/g/p2.html"})
            QVERIFY2(plain.Out().contains("==> " + Url(QString::fromLatin1(page)).toUtf8() + " <==\n" + css + "\n"), plain.Out());
    }

    // Host and page layouts: a folder a host, or a folder a page under its host.
    void layouts() {
        const QString host = QStringLiteral("127.0.0.1:%1").arg(Url(QString()).section(QLatin1Char(':'), -1));
        const QString byPage = Dir(QStringLiteral("by-page"));
        Cli one;
        QCOMPARE(one.Run({QStringLiteral("--layout"), QStringLiteral("page"), QStringLiteral("-dq"), QStringLiteral("-o"),
                          byPage, Url(QStringLiteral("/g/p2.html?x=1"))}),
                 0);
        const QString folder = host + QStringLiteral("/g/p2.html?x=1/");
        QCOMPARE(FilesUnder(byPage), (QStringList{folder + QStringLiteral("2.png"), folder + QStringLiteral("bg.png"),
                                                  folder + QStringLiteral("f2.png"), folder + QStringLiteral("logo.png"),
                                                  folder + QStringLiteral("s.css"), folder + QStringLiteral("same.png")}));

        const QString byHost = Dir(QStringLiteral("by-host"));
        Cli two;
        QCOMPARE(two.Run({QStringLiteral("--layout=host"), QStringLiteral("-dq"), QStringLiteral("--jsonl"), QStringLiteral("-o"),
                          byHost, Url(QStringLiteral("/g/p1.html")), Url(QStringLiteral("/g/p3.html"))}),
                 0);
        VerifyRecordedFiles(two.Lines());
        const QStringList files = FilesUnder(byHost);
        QCOMPARE(files.size(), 9);
        for (const QString& f : files) QVERIFY2(f.startsWith(host + QLatin1Char('/')), qPrintable(f));
        QVERIFY(files.contains(host + QStringLiteral("/same (2).png")));
    }

    // A run stopped by SIGINT once its first page is out: exit 130 at once, no partial
    // file, every JSON line whole, every archived file there in full. Run again with the
    // archive, it fetches only what is missing. SIGTERM gives 143.
    void interruptedRunResumesFromItsArchive() {
        for (int n = 1; n <= 3; ++n) PutGalleryPage(QStringLiteral("/r/"), n);
        site_.Hold(QStringLiteral("/r/img/3.png"));  // the third page never finishes
        const QString list = Dir(QStringLiteral("resume.txt"));
        WriteFile(list, (Url(QStringLiteral("/r/p1.html")) + QLatin1Char('\n') + Url(QStringLiteral("/r/p2.html")) +
                         QLatin1Char('\n') + Url(QStringLiteral("/r/p3.html")))
                            .toUtf8());
        const QString out = Dir(QStringLiteral("resume"));
        const QString archive = Dir(QStringLiteral("resume.sqlite"));
        const QStringList args = {QStringLiteral("-i"), list, QStringLiteral("-j1"), QStringLiteral("-dq"), QStringLiteral("--jsonl"),
                                  QStringLiteral("-o"), out, QStringLiteral("--archive"), archive};

        Cli first;
        first.Start(args);
        QTRY_VERIFY_WITH_TIMEOUT(first.Out().contains('\n'), 120000);
        first.Signal(SIGINT);
        QCOMPARE(first.Wait(), 130);
        QVERIFY2(first.Err().contains("stopped by SIGINT"), first.Err());
        QVERIFY(first.Out().endsWith('\n'));
        const QList<QJsonObject> done = first.Lines();
        QVERIFY(!done.isEmpty() && done.size() < 3);
        VerifyRecordedFiles(done);
        const QStringList kept = FilesUnder(out);
        for (const QString& f : kept) QVERIFY2(!f.contains(QStringLiteral(".nuvpart.")), qPrintable(f));
        QHash<QString, int> requested;  // archived address: requests so far
        for (const ArchiveRow& r : ArchiveRows(archive)) {
            QVERIFY2(QFileInfo(r.file).isRelative(), qPrintable(r.file));  // to the save folder
            QCOMPARE(ReadFile(out + QLatin1Char('/') + r.file), pictures_.value(r.address));
            QCOMPARE(QFileInfo(out + QLatin1Char('/') + r.file).size(), r.size);
            requested[r.address] = site_.RequestCount(QUrl(r.address).path());
        }
        QVERIFY(!requested.isEmpty());

        site_.Release(QStringLiteral("/r/img/3.png"));
        Cli again;
        QCOMPARE(again.Run(args), 0);
        const QList<QJsonObject> lines = again.Lines();
        QCOMPARE(lines.size(), 3);
        VerifyRecordedFiles(lines);
        int archived = 0;
        for (const QJsonObject& page : lines) {
            for (const QJsonValue& v : page.value(QStringLiteral("downloads")).toArray()) {
                const QJsonObject d = v.toObject();
                const QString address = d.value(QStringLiteral("address")).toString();
                if (requested.contains(address)) {
                    QCOMPARE(d.value(QStringLiteral("reason")).toString(), QStringLiteral("in the archive"));
                    ++archived;
                } else {
                    QCOMPARE(d.value(QStringLiteral("outcome")).toString(), QStringLiteral("saved"));
                }
            }
        }
        QVERIFY(archived >= requested.size());
        for (auto it = requested.begin(); it != requested.end(); ++it)
            QCOMPARE(site_.RequestCount(QUrl(it.key()).path()), it.value());
        QCOMPARE(ArchiveRows(archive).size(), 11);  // 3 pages of 5 pictures, logo and bg shared

        site_.Hold(QStringLiteral("/r/img/f3.png"));
        Cli term;
        term.Start({QStringLiteral("-q"), QStringLiteral("-d"), QStringLiteral("-j1"), QStringLiteral("--jsonl"),
                    QStringLiteral("-o"), Dir(QStringLiteral("term")), Url(QStringLiteral("/r/p1.html")),
                    Url(QStringLiteral("/r/p3.html"))});
        QTRY_VERIFY_WITH_TIMEOUT(term.Out().contains('\n'), 120000);
        term.Signal(SIGTERM);
        QCOMPARE(term.Wait(), 143);
        for (const QString& f : FilesUnder(Dir(QStringLiteral("term"))))
            QVERIFY2(!f.contains(QStringLiteral(".nuvpart.")), qPrintable(f));
    }

    // A list whose reader goes away (a pipe into head) stops as if interrupted, with 1.
    void runWithoutReaderStops() {
        site_.Put(QStringLiteral("/w/one.html"), "<html><body><img src=\"a.png\"></body></html>");
        site_.Put(QStringLiteral("/w/two.html"), "<html><body><img src=\"b.png\"></body></html>");
        site_.Hold(QStringLiteral("/w/two.html"));
        const QString gone = Dir(QStringLiteral("reader-gone"));
        Cli cli(QStringLiteral("/bin/bash"));
        cli.Start({QStringLiteral("-c"), QStringLiteral("'%1' -q --jsonl '%2' '%3' | (head -n 1 > /dev/null; touch '%4'); "
                                                       "exit ${PIPESTATUS[0]}")
                                             .arg(QStringLiteral(NUV_EXTRACT_EXE), Url(QStringLiteral("/w/one.html")),
                                                  Url(QStringLiteral("/w/two.html")), gone)});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(gone), 120000);
        site_.Release(QStringLiteral("/w/two.html"));
        QCOMPARE(cli.Wait(), 1);
        QVERIFY2(cli.Err().contains("cannot write the output; stopped"), cli.Err());
    }

    // --shown, --min-size and --types work on every page of a list as on one page: each
    // JSON line describes its pictures as --json does for one page ("shown" for those the
    // page shows), the pages share the files of the same pictures, and a filter keeps on
    // each page what it keeps on one.
    void shownPicturesAndFiltersInAList() {
        TestHttpServer other(QHostAddress(QStringLiteral("127.0.0.2")));
        QVERIFY2(other.isListening(), "127.0.0.2 must be usable as a second loopback origin");
        PutShownSite(site_, other);
        const std::vector<ShownEntry> expected = ExpectedShownPictures(site_, other);
        const QString page = ShownPage(site_);
        const QString again = page + QStringLiteral("?again");
        Cli one;
        QCOMPARE(one.Run({QStringLiteral("--shown"), QStringLiteral("--json"), QStringLiteral("-q"), page}), 0);
        const QJsonArray pictures = QJsonDocument::fromJson(one.Out()).object().value(QStringLiteral("pictures")).toArray();
        QCOMPARE(pictures.size(), 10 + static_cast<int>(expected.size()));

        const QString out = Dir(QStringLiteral("shown"));
        Cli list;
        QCOMPARE(list.Run({QStringLiteral("--shown"), QStringLiteral("--jsonl"), QStringLiteral("-dq"), QStringLiteral("-o"), out,
                           page, again}),
                 3);  // the source's "%2Fshown%2F...hero.jpg" names no picture
        const QList<QJsonObject> lines = list.Lines();
        QCOMPARE(lines.size(), 2);
        for (const QJsonObject& line : lines) {
            QCOMPARE(line.value(QStringLiteral("list")).toArray(), pictures);
            const QJsonArray downloads = line.value(QStringLiteral("downloads")).toArray();
            for (size_t k = 0; k < expected.size(); ++k) {
                QCOMPARE(downloads[10 + static_cast<int>(k)].toObject().value(QStringLiteral("file")).toString(),
                         out + QLatin1Char('/') + QString::fromStdString(expected[k].file));
            }
        }
        const QStringList files = FilesUnder(out);
        for (const ShownEntry& e : expected) QVERIFY2(files.contains(QString::fromStdString(e.file)), e.file.c_str());
        for (const QString& f : files) QVERIFY2(!f.startsWith(QLatin1Char('.')), qPrintable(f));

        QStringList kept;
        for (const ShownEntry& e : expected)
            if (e.width >= 300 && e.height >= 200 && e.type == "webp") kept << QString::fromStdString(e.address);
        Cli filtered;
        QCOMPARE(filtered.Run({QStringLiteral("--shown"), QStringLiteral("--min-size=300x200"), QStringLiteral("--types=webp"),
                               QStringLiteral("--jsonl"), QStringLiteral("-q"), page, again}),
                 0);
        const QList<QJsonObject> filteredLines = filtered.Lines();
        QCOMPARE(filteredLines.size(), 2);
        for (const QJsonObject& line : filteredLines)
            QCOMPARE(Strings(line.value(QStringLiteral("list")).toArray(), QStringLiteral("address")), kept);
    }

    // --name names each file by the fields of the page, the file and its answer: the
    // folders it makes hold the downloads byte for byte; an unknown field is a usage error.
    void nameTemplate() {
        const QStringList addresses = PutAlikePage(QStringLiteral("/n/"));
        const QString out = Dir(QStringLiteral("named"));
        Cli cli;
        QCOMPARE(cli.Run({QStringLiteral("-dq"), QStringLiteral("--jsonl"), QStringLiteral("-o"), out, QStringLiteral("--name"),
                          QStringLiteral("{host}/{index:02}_{name}_{width}x{height}.{type}"), Url(QStringLiteral("/n/index.html"))}),
                 0);
        const QStringList expected = {QStringLiteral("127.0.0.1/01_a_64x48.png"), QStringLiteral("127.0.0.1/02_a_64x48.png"),
                                      QStringLiteral("127.0.0.1/03_small_32x24.png"), QStringLiteral("127.0.0.1/04_other_64x48.png")};
        QCOMPARE(FilesUnder(out), expected);
        const QList<QJsonObject> lines = cli.Lines();
        QCOMPARE(lines.size(), 1);
        VerifyRecordedFiles(lines);
        QCOMPARE(Strings(lines[0].value(QStringLiteral("downloads")).toArray(), QStringLiteral("address")), addresses);

        Cli byPage;
        QCOMPARE(byPage.Run({QStringLiteral("-dq"), QStringLiteral("-o"), out, QStringLiteral("--name={page}/{index}.{ext}"),
                             Url(QStringLiteral("/n/index.html"))}),
                 0);
        QVERIFY(QFile::exists(out + QStringLiteral("/127.0.0.1:%1/n/index.html/4.png").arg(QUrl(site_.Origin()).port())));

        Cli unknown;
        QCOMPARE(unknown.Run({QStringLiteral("-d"), QStringLiteral("--name"), QStringLiteral("{nope}.{ext}"), Url(QStringLiteral("/n/index.html"))}),
                 2);
        QVERIFY2(unknown.Err().contains("unknown field {nope}"), unknown.Err());
    }

    // --zip puts every file into one ZIP as it completes, under the names the template
    // gives, and leaves none beside it; ".cbz" orders the entries by their index; a run
    // stopped by SIGINT leaves a ZIP of the pages it finished, their duplicates left out.
    void zipFiles() {
        const QStringList addresses = PutAlikePage(QStringLiteral("/z/"));
        const QString folder = Dir(QStringLiteral("zips"));
        QVERIFY(QDir().mkpath(folder));
        for (const QString& name : {QStringLiteral("pictures.zip"), QStringLiteral("pictures.cbz")}) {
            const QString zip = folder + QLatin1Char('/') + name;
            Cli cli;
            QCOMPARE(cli.Run({QStringLiteral("-q"), QStringLiteral("--jsonl"), QStringLiteral("--zip"), zip, QStringLiteral("--name"),
                              QStringLiteral("{index:02}.{ext}"), Url(QStringLiteral("/z/index.html"))}),
                     0);
            QMap<QString, QByteArray> expected;
            for (int k = 0; k < addresses.size(); ++k)
                expected.insert(QStringLiteral("%1.png").arg(k + 1, 2, 10, QLatin1Char('0')), pictures_.value(addresses[k]));
            const auto entries = ZipEntries(zip);
            QCOMPARE(entries.size(), expected.size());
            QStringList names;
            for (const auto& [entry, bytes] : entries) {
                QCOMPARE(bytes, expected.value(entry));
                names << entry;
            }
            if (name.endsWith(QLatin1String(".cbz"))) QCOMPARE(names, expected.keys());
            const QList<QJsonObject> lines = cli.Lines();
            QCOMPARE(lines.size(), 1);
            QStringList recorded = Strings(lines[0].value(QStringLiteral("downloads")).toArray(), QStringLiteral("file"));
            recorded.sort();
            QCOMPARE(recorded, expected.keys());
        }
        QCOMPARE(FilesUnder(folder), QStringList({QStringLiteral("pictures.cbz"), QStringLiteral("pictures.zip")}));

        for (int n = 1; n <= 2; ++n) PutGalleryPage(QStringLiteral("/zs/"), n);
        site_.Hold(QStringLiteral("/zs/img/2.png"));  // the second page never finishes
        const QString zip = folder + QStringLiteral("/stopped.zip");
        Cli stopped;
        stopped.Start({QStringLiteral("-q"), QStringLiteral("-j1"), QStringLiteral("--jsonl"), QStringLiteral("--zip"), zip,
                       QStringLiteral("--dedup"), Url(QStringLiteral("/zs/p1.html")), Url(QStringLiteral("/zs/p2.html"))});
        QTRY_VERIFY_WITH_TIMEOUT(stopped.Out().contains('\n'), 120000);
        stopped.Signal(SIGINT);
        QCOMPARE(stopped.Wait(), 130);
        site_.Release(QStringLiteral("/zs/img/2.png"));
        const QList<QJsonObject> done = stopped.Lines();
        QCOMPARE(done.size(), 1);
        const auto entries = ZipEntries(zip);
        QMap<QString, QByteArray> inZip;
        for (const auto& [entry, bytes] : entries) inZip.insert(entry, bytes);
        for (const QJsonValue& v : done[0].value(QStringLiteral("downloads")).toArray()) {
            const QJsonObject d = v.toObject();
            QCOMPARE(d.value(QStringLiteral("outcome")).toString(), QStringLiteral("saved"));
            QCOMPARE(inZip.value(d.value(QStringLiteral("file")).toString()),
                     pictures_.value(d.value(QStringLiteral("address")).toString()));
        }
        QVERIFY(entries.size() >= done[0].value(QStringLiteral("downloads")).toArray().size());
        QSet<QByteArray> distinct;
        for (const auto& [entry, bytes] : entries) {
            QVERIFY2(!distinct.contains(bytes), qPrintable(entry));
            distinct.insert(bytes);
        }
        for (const QString& f : FilesUnder(folder)) QVERIFY2(!f.startsWith(QLatin1Char('.')), qPrintable(f));
    }

    // --dedup keeps one file of the same bytes, --dedup similar also one of the pictures
    // alike, the largest; the others are removed and name the kept one; a run again with
    // the archive asks for nothing.
    void duplicates() {
        const QStringList addresses = PutAlikePage(QStringLiteral("/dd/"));
        const QString page = Url(QStringLiteral("/dd/index.html"));
        const auto run = [&](const QString& folder, const QString& mode, const QString& archive) {
            QStringList args = {QStringLiteral("-dq"), QStringLiteral("--jsonl"), QStringLiteral("-o"), Dir(folder),
                                QStringLiteral("--name={index}.{ext}"), QStringLiteral("--dedup"), mode, page};
            if (!archive.isEmpty()) args << QStringLiteral("--archive") << Dir(archive);
            Cli cli;
            const int status = cli.Run(args);
            const QList<QJsonObject> lines = cli.Lines();
            return std::make_pair(status, lines.size() == 1 ? lines[0].value(QStringLiteral("downloads")).toArray() : QJsonArray());
        };
        const auto field = [](const QJsonArray& downloads, int k, const char* key) {
            return downloads[k].toObject().value(QLatin1String(key)).toString();
        };

        const auto [exactStatus, exact] = run(QStringLiteral("exact"), QStringLiteral("exact"), QStringLiteral("dedup.sqlite"));
        QCOMPARE(exactStatus, 0);
        QCOMPARE(exact.size(), 4);
        QCOMPARE(FilesUnder(Dir(QStringLiteral("exact"))), QStringList({QStringLiteral("1.png"), QStringLiteral("3.png"), QStringLiteral("4.png")}));
        QCOMPARE(field(exact, 1, "outcome"), QStringLiteral("skipped"));
        QCOMPARE(field(exact, 1, "reason"), QStringLiteral("duplicate"));
        QCOMPARE(field(exact, 1, "duplicate_of"), Dir(QStringLiteral("exact/1.png")));
        for (int k : {0, 2, 3}) {
            QCOMPARE(field(exact, k, "outcome"), QStringLiteral("saved"));
            QCOMPARE(ReadFile(field(exact, k, "file")), pictures_.value(addresses[k]));
            QCOMPARE(field(exact, k, "sha256").size(), 64);
        }
        QCOMPARE(field(exact, 1, "sha256"), field(exact, 0, "sha256"));

        const auto [similarStatus, similar] = run(QStringLiteral("similar"), QStringLiteral("similar"), QString());
        QCOMPARE(similarStatus, 0);
        QCOMPARE(FilesUnder(Dir(QStringLiteral("similar"))), QStringList({QStringLiteral("1.png"), QStringLiteral("4.png")}));
        for (int k : {1, 2}) QCOMPARE(field(similar, k, "duplicate_of"), Dir(QStringLiteral("similar/1.png")));
        QCOMPARE(ReadFile(Dir(QStringLiteral("similar/4.png"))), pictures_.value(addresses[3]));
        for (int k = 0; k < 4; ++k) QCOMPARE(field(similar, k, "dhash").size(), 16);

        // Without a template the picture and its byte copy share one name of the page: one
        // file, no duplicate of itself, put into the ZIP once.
        const QString zip = Dir(QStringLiteral("dedup.zip"));
        Cli zipped;
        QCOMPARE(zipped.Run({QStringLiteral("-q"), QStringLiteral("--zip"), zip, QStringLiteral("--dedup"), page}), 0);
        QMap<QString, QByteArray> entries;
        for (const auto& [entry, bytes] : ZipEntries(zip)) entries.insert(entry, bytes);
        QCOMPARE(entries.keys(), QStringList({QStringLiteral("a.png"), QStringLiteral("other.png"), QStringLiteral("small.png")}));
        QCOMPARE(entries.value(QStringLiteral("a.png")), pictures_.value(addresses[0]));

        QHash<QString, int> requests;
        for (const QString& a : addresses) requests[a] = site_.RequestCount(QUrl(a).path());
        const auto [againStatus, again] = run(QStringLiteral("exact"), QStringLiteral("exact"), QStringLiteral("dedup.sqlite"));
        QCOMPARE(againStatus, 0);
        for (int k = 0; k < 4; ++k) QCOMPARE(field(again, k, "reason"), QStringLiteral("in the archive"));
        QCOMPARE(field(again, 1, "duplicate_of"), Dir(QStringLiteral("exact/1.png")));
        for (const QString& a : addresses) QCOMPARE(site_.RequestCount(QUrl(a).path()), requests.value(a));
    }

    // Three shards through GNU parallel, each with its own JSON Lines and archive: they
    // are disjoint and together give what one run over the whole list gives.
    void shardsThroughGnuParallel() {
        const QString parallel = QStandardPaths::findExecutable(QStringLiteral("parallel"));
        QVERIFY2(!parallel.isEmpty(), "GNU parallel is missing (scripts/deps installs it)");
        QByteArray list;
        for (int n = 1; n <= 6; ++n) {
            PutGalleryPage(QStringLiteral("/s/"), n);
            list += Url(QStringLiteral("/s/p%1.html").arg(n)).toUtf8() + '\n';
        }
        const QString listFile = Dir(QStringLiteral("shards.txt"));
        WriteFile(listFile, list);
        const QString common = QStringLiteral(" -q -d --layout page --jsonl -i '%1'").arg(listFile);

        Cli shards(parallel);
        const QString command = QStringLiteral("'%1' --shard {}/3%2 -o '%3/shard{}' --archive '%3/shard{}.sqlite' > '%3/shard{}.jsonl'")
                                    .arg(QStringLiteral(NUV_EXTRACT_EXE), common, work_.path());
        QCOMPARE(shards.Run({QStringLiteral("--will-cite"), QStringLiteral("-j3"), QStringLiteral("--halt"),
                             QStringLiteral("now,fail=1"), command, QStringLiteral(":::"), QStringLiteral("1"),
                             QStringLiteral("2"), QStringLiteral("3")}),
                 0);
        Cli whole(QStringLiteral("/bin/sh"));
        QCOMPARE(whole.Run({QStringLiteral("-c"), QStringLiteral("'%1'%2 -o '%3/whole' --archive '%3/whole.sqlite'")
                                                      .arg(QStringLiteral(NUV_EXTRACT_EXE), common, work_.path())}),
                 0);

        auto pagesOf = [](const QByteArray& jsonl) {
            QMap<QString, QStringList> pages;
            for (const QByteArray& line : jsonl.split('\n')) {
                if (line.isEmpty()) continue;
                const QJsonObject o = QJsonDocument::fromJson(line).object();
                pages.insert(o.value(QStringLiteral("address")).toString(),
                             Strings(o.value(QStringLiteral("list")).toArray(), QStringLiteral("address")));
            }
            return pages;
        };
        const QMap<QString, QStringList> all = pagesOf(whole.Out());
        QCOMPARE(all.size(), 6);
        QMap<QString, QStringList> joined;
        QSet<QString> files, archived;
        for (int k = 1; k <= 3; ++k) {
            const QString shard = work_.path() + QStringLiteral("/shard%1").arg(k);
            const QMap<QString, QStringList> pages = pagesOf(ReadFile(shard + QStringLiteral(".jsonl")));
            for (auto it = pages.begin(); it != pages.end(); ++it) {
                QVERIFY2(!joined.contains(it.key()), qPrintable(it.key()));  // disjoint
                joined.insert(it.key(), it.value());
            }
            for (const QString& f : FilesUnder(shard)) files << f;
            archived += ArchiveKeys(shard + QStringLiteral(".sqlite"));
        }
        QCOMPARE(joined, all);
        const QStringList wholeFiles = FilesUnder(Dir(QStringLiteral("whole")));
        QCOMPARE(files, QSet<QString>(wholeFiles.begin(), wholeFiles.end()));
        QCOMPARE(archived, ArchiveKeys(Dir(QStringLiteral("whole.sqlite"))));
        QCOMPARE(archived.size(), 6 * 5);  // a page folder has its own copy of what pages share
    }
};

NUV_GUI_TEST_MAIN(BatchTest)
#include "batch_test.moc"
