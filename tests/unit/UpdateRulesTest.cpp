#include "frame/logic/UpdateRules.h"

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "common/Product.h"
#include "frame/logic/UpdateSignature.h"
#include "support/Files.h"
#include "support/SigningKey.h"

namespace nuv {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kMarker(UpdateMarker);

// ParseUpdateText over UpdateText as given, starting from a version read earlier (1.5).
TEST(ParseUpdateText, FirstMarkersOneBasedSpansAndKeptVersion) {
    const struct {
        const char* text;
        float version;
        const char* address;
    } cases[] = {
        {"softversion_2.3_softversion softurl_https://h.example/u.exe_softurl", 2.3f, "https://h.example/u.exe"},
        {"<p>softurl_https://a/b_softurl</p><i>softversion_3_softversion</i>", 3.0f, "https://a/b"},
        // Only the first occurrence of each marker counts.
        {"softversion_2.1_softversion softversion_9_softversion softurl_x_softurl softurl_y_softurl", 2.1f, "x"},
        // Empty and negative spans: the version is kept, the address becomes empty.
        {"softversion__softversion softurl__softurl", 1.5f, ""},
        {"_softversion x softversion_3 _softurl softurl_y", 1.5f, ""},
        {"softversion_3", 1.5f, ""},
        // Texts that are no number keep the version.
        {"softversion_abc_softversion", 1.5f, ""},
        {"softversion_2,5_softversion", 1.5f, ""},
        {"softversion_2.5.1_softversion", 1.5f, ""},
        {"softversion_inf_softversion", 1.5f, ""},
        {"softversion_1e99_softversion", 1.5f, ""},
        {"softversion_._softversion", 1.5f, ""},
        {"softversion_2e_softversion", 1.5f, ""},
        // Numbers as a decimal reader takes them.
        {"softversion_ 2.5 _softversion", 2.5f, ""},
        {"softversion_+3._softversion", 3.0f, ""},
        {"softversion_.5_softversion", 0.5f, ""},
        {"softversion_25e-1_softversion", 2.5f, ""},
        {"softversion_-1_softversion", -1.0f, ""},
        // A missing opening marker counts as position 0: the version starts at byte 12.
        {"0123456789a2.5_softversion", 2.5f, ""},
        {"softurl_https://a_softurl", 1.5f, "https://a"},
        // Chinese text around the markers: positions count bytes.
        {"版本softversion_4.0_softversion地址softurl_https://例子/升级.exe_softurl", 4.0f,
         "https://例子/升级.exe"},
    };
    for (const auto& c : cases) {
        UpdateInfo info;
        info.UpdateVersion = 1.5f;
        info.UpdateDownloadAddress = "old";
        info.UpdateText = c.text;
        ParseUpdateText(info);
        EXPECT_EQ(info.UpdateVersion, c.version) << c.text;
        EXPECT_EQ(info.UpdateDownloadAddress, c.address) << c.text;
    }
}

TEST(CheckUpdateText, NewerOnlyPastTwoPointTwoPlusOneHundredthWithTheMarker) {
    const struct {
        std::string body;
        bool newer;
        float version;  // UpdateVersion afterwards, from 0
    } cases[] = {
        {kMarker + "softversion_2.21_softversion", true, 2.21f},  // 2.21 as a float is a hair above 2.21
        {kMarker + "softversion_2.2_softversion", false, 2.2f},
        {kMarker + "softversion_2.205_softversion", false, 2.205f},
        {kMarker + "softversion_2.1_softversion", false, 2.1f},
        {kMarker + "softversion_3_softversion", true, 3.0f},
        {kMarker + "softversion_3.0_softversion", true, 3.0f},
        {kMarker + "softversion_x_softversion", false, 0.0f},
        // The markers and the text are compared lower-cased.
        {"<B>此为示例标记串SAMPLE_UPDATE_MARKER_TEXT_OK供校验XYZ升级页面用END_OF_MARKER15</B>SoftVersion_5_SOFTVERSION",
         true, 5.0f},
        // Without the marker nothing is parsed.
        {"softversion_9_softversion softurl_https://a/b_softurl", false, 0.0f},
        {kMarker.substr(1) + "softversion_9_softversion", false, 0.0f},
        {"", false, 0.0f},
    };
    for (const auto& c : cases) {
        UpdateInfo info;
        EXPECT_EQ(CheckUpdateText(info, c.body), c.newer) << c.body;
        EXPECT_EQ(info.UpdateVersion, c.version) << c.body;
        EXPECT_EQ(IsUpdatePage(c.body), c.body.find("softversion_9") == std::string::npos && !c.body.empty())
            << c.body;
    }
}

TEST(CheckUpdateText, AddressArrivesLowerCasedAndOnlyThisPagesVersionDecides) {
    UpdateInfo info;
    EXPECT_TRUE(CheckUpdateText(info, kMarker + "SOFTVERSION_3_SOFTVERSION SOFTURL_HTTPS://H.EXAMPLE/Up.EXE_SOFTURL"));
    EXPECT_EQ(info.UpdateDownloadAddress, "https://h.example/up.exe");
    EXPECT_EQ(info.UpdateText, kMarker + "softversion_3_softversion softurl_https://h.example/up.exe_softurl");
    // Later pages without a readable version: the earlier version is kept, but it offers nothing.
    for (const std::string& later : {kMarker + "softversion_?_softversion", kMarker, kMarker + "softurl_x_softurl"}) {
        EXPECT_FALSE(CheckUpdateText(info, later)) << later;
        EXPECT_EQ(info.UpdateVersion, 3.0f);
    }
}

TEST(IsNewerVersion, ComparesWithTheProductVersionInExtendedPrecision) {
    const struct {
        float version;
        bool newer;
    } cases[] = {{2.21f, true}, {2.2f, false}, {2.205f, false}, {2.209f, false}, {3.0f, true}, {0.0f, false}, {-3.0f, false}};
    for (const auto& c : cases) EXPECT_EQ(IsNewerVersion(c.version), c.newer) << c.version;
    EXPECT_FALSE(IsNewerVersion(static_cast<float>(ProductVersion)));
    EXPECT_TRUE(IsNewerVersion(static_cast<float>(ProductVersion + 0.0101)));
}

TEST(IsOnMakerHost, HttpsOnTheMakersHostOnly) {
    const struct {
        const char* address;
        bool taken;
    } cases[] = {
        {"https://www.nuvsoft.example/update.exe", true},
        {"HTTPS://WWW.NuvSoft.Example/U", true},
        {"https://www.nuvsoft.example:8443/u", true},
        {"https://www.nuvsoft.example", true},
        {"https://www.nuvsoft.example?x", true},
        {"http://www.nuvsoft.example/update.exe", false},
        {"https://his-host/u_softurl", false},
        {"https://www.nuvsoft.example.his-host/u", false},
        {"https://his-host/www.nuvsoft.example/u", false},
        {"https://www.nuvsoft.example@his-host/u", false},
        {"https://user@www.nuvsoft.example/u", false},
        {"https://www.nuvsoft.example\\@his-host/u", false},
        {"https://www.nuvsoft.example%2ehis-host/u", false},
        {"https://www.nuvsoft.example:/u", false},
        {"https://www.nuvsoft.example:80a/u", false},
        {"https:///u", false},
        {" https://www.nuvsoft.example/u", false},
        {"//www.nuvsoft.example/u", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsOnMakerHost(c.address, "www.nuvsoft.example"), c.taken) << c.address;
    EXPECT_FALSE(IsOnMakerHost("https://h/u", ""));
    EXPECT_TRUE(IsOnMakerHost("https://127.0.0.1:4433/update/zelt/", "127.0.0.1"));
}

TEST(ReadManifest, FourLinesOfAFixedFormOnly) {
    const std::string hash = test::Sha256Hex("updater");
    const std::string lines = test::ManifestLines("2.3", hash);
    const std::string raw(64, '\x9c');
    const std::string sig = "signature " + test::Base64(raw);
    std::string upperHash = hash;
    for (char& ch : upperHash) ch = ch >= 'a' && ch <= 'f' ? static_cast<char>(ch - 'a' + 'A') : ch;
    const std::string upper = test::ManifestLines("2.3", upperHash);
    const struct {
        const char* what;
        std::string file;
        bool read;
    } cases[] = {
        {"as signed", lines + sig + "\n", true},
        {"no line feed at the end", lines + sig, true},
        {"CR LF", test::ManifestLines("2.3\r", hash + "\r") + sig + "\r\n", true},
        {"upper-case hash", upper + sig + "\n", true},
        {"blank lines after it", lines + sig + "\n\n \n", true},
        {"another header", "nuv-update-manifest 2" + lines.substr(lines.find('\n')) + sig, false},
        {"no signature", lines, false},
        {"a line more", lines + "note x\n" + sig, false},
        {"text after it", lines + sig + "\nmore", false},
        {"lines swapped", std::string(ManifestHeader) + "\nsha256 " + hash + "\nversion 2.3\n" + sig, false},
        {"short hash", test::ManifestLines("2.3", hash.substr(1)) + sig, false},
        {"no hex", test::ManifestLines("2.3", "g" + hash.substr(1)) + sig, false},
        {"no number", test::ManifestLines("two", hash) + sig, false},
        {"signature cut short", lines + "signature " + test::Base64(raw.substr(1)), false},
        {"signature as raw bytes", lines + "signature " + raw, false},
        {"key without a value", lines + "signature", false},
        {"", "", false},
    };
    for (const auto& c : cases) {
        const std::optional<UpdateManifest> m = ReadManifest(c.file);
        EXPECT_EQ(m.has_value(), c.read) << c.what;
        if (!m || !c.read) continue;
        EXPECT_EQ(m->version, 2.3f) << c.what;
        EXPECT_EQ(m->signature, raw) << c.what;
        EXPECT_EQ(m->sha256.size(), 32u) << c.what;
        EXPECT_EQ(m->signedPart, c.file.substr(0, c.file.find("signature"))) << c.what;
    }
    EXPECT_EQ(SignatureAddress("https://h/update.bin"), "https://h/update.bin.sig");
}

class UpdateFolder : public ::testing::Test {
protected:
    std::string Read(const std::string& name) const { return scratch_.Read(name); }
    test::TempFolder scratch_{"nuv-update"};
    fs::path dir_ = scratch_.Dir();
    std::string folder_ = scratch_.Path();
};

TEST_F(UpdateFolder, HandOverFileHoldsTheProgramsFileNameAndCrLf) {
    EXPECT_EQ(HandOverText("/opt/nuv/bin/nuv-webextract"), "nuv-webextract\r\n");
    EXPECT_EQ(HandOverText("nuv-webextract"), "nuv-webextract\r\n");
    EXPECT_EQ(HandOverText("/opt/网页 提取/nuv.bin"), "nuv.bin\r\n");

    std::ofstream(dir_ / "update.txt") << "an older and much longer hand-over text\r\nsecond line\r\n";
    ASSERT_TRUE(WriteHandOverFile(folder_, "/usr/local/bin/nuv-webextract"));
    EXPECT_EQ(Read("update.txt"), "nuv-webextract\r\n");
    EXPECT_FALSE(WriteHandOverFile(folder_ + "missing/", "/usr/local/bin/nuv-webextract"));
}

TEST_F(UpdateFolder, WritableFolderLeavesNoProbe) {
    EXPECT_TRUE(FolderIsWritable(folder_));
    EXPECT_TRUE(FolderIsWritable(dir_.string()));
    EXPECT_FALSE(FolderIsWritable(folder_ + "missing/"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 0);  // no probe left
}

TEST(UpdaterMode, ExecutableWhereReadableAndWrittenByItsOwnerAlone) {
    const struct {
        unsigned before;
        unsigned after;
    } cases[] = {{0644, 0755}, {0600, 0700}, {0640, 0750}, {0664, 0755}, {0666, 0755},
                 {0400, 0500}, {04755, 0755}, {0100644, 0755}, {0, 0100}};
    for (const auto& c : cases) EXPECT_EQ(UpdaterMode(c.before), c.after) << std::oct << c.before;
}

// The downloaded updater replaces the older one only with a manifest the trusted key signed
// for the version the page announced (3), and only when the download's own name holds a
// plain file of its own.
TEST_F(UpdateFolder, SignedUpdaterReplacesTheOlderOneAndNothingElseDoes) {
    const test::SigningKey maker;
    const test::SigningKey other;
    const test::TempFolder elsewhere{"nuv-elsewhere"};
    const std::string updater = "#!/bin/sh\necho updated\n" + std::string(5000, '#');
    const std::string good = maker.SignedManifest(updater, "3");
    const std::string lines = test::ManifestLines("3", test::Sha256Hex(updater));
    enum class Put { File, Link, SecondName, Pipe };
    const struct {
        const char* what;
        std::string download;                // what arrived
        std::optional<std::string> sigFile;  // the manifest, none when it could not be fetched
        UpdaterVerdict verdict;
        Put put = Put::File;  // what lies under the download's name
        float announced = 3.0f;
    } cases[] = {
        {"good", updater, good, UpdaterVerdict::Installed},
        {"good, 3.0 for 3", updater, maker.SignedManifest(updater, "3.0"), UpdaterVerdict::Installed},
        {"wrong key", updater, other.SignedManifest(updater, "3"), UpdaterVerdict::BadSignature},
        {"manifest altered after signing", updater, std::string(good).replace(good.find("version 3"), 9, "version 4"),
         UpdaterVerdict::BadSignature},
        {"cut short", updater.substr(0, updater.size() - 1), good, UpdaterVerdict::BadSignature},
        {"altered", updater + "rm -rf ~\n", good, UpdaterVerdict::BadSignature},
        {"an older signed updater served again", updater, maker.SignedManifest(updater, "2.5"),
         UpdaterVerdict::WrongVersion},
        {"another version than announced", updater, maker.SignedManifest(updater, "4"), UpdaterVerdict::WrongVersion},
        {"announced, but not newer than this program", updater, maker.SignedManifest(updater, "2.2"),
         UpdaterVerdict::WrongVersion, Put::File, 2.2f},
        {"missing manifest", updater, std::nullopt, UpdaterVerdict::NoSignature},
        {"signature of the bare file", updater, maker.Sign(updater), UpdaterVerdict::NoSignature},
        {"manifest signed without its last line end", updater,
         lines + "signature " + test::Base64(maker.Sign(lines.substr(0, lines.size() - 1))), UpdaterVerdict::BadSignature},
        {"signature file of another kind", updater, "<html>not found</html>", UpdaterVerdict::NoSignature},
        {"empty file", "", maker.SignedManifest("", "3"), UpdaterVerdict::Empty},
        {"a link to a signed file elsewhere", updater, good, UpdaterVerdict::NotInstalled, Put::Link},
        {"a file with a second name elsewhere", updater, good, UpdaterVerdict::NotInstalled, Put::SecondName},
        {"a pipe", updater, good, UpdaterVerdict::NotInstalled, Put::Pipe},
    };
    const std::string downloaded = folder_ + ".nuvpart.update.exe";
    const std::string signature = downloaded + ".sig";
    const fs::path outside = elsewhere.Dir() / "updater.bin";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::ofstream(dir_ / "update.exe", std::ios::binary | std::ios::trunc) << "older updater";
        fs::permissions(dir_ / "update.exe", fs::perms(0644));
        fs::remove(outside);
        switch (c.put) {
            case Put::File: std::ofstream(downloaded, std::ios::binary) << c.download; break;
            case Put::Link:
                std::ofstream(outside, std::ios::binary) << c.download;
                fs::create_symlink(outside, downloaded);
                break;
            case Put::SecondName:
                std::ofstream(outside, std::ios::binary) << c.download;
                fs::create_hard_link(outside, downloaded);
                break;
            case Put::Pipe: ASSERT_EQ(::mkfifo(downloaded.c_str(), 0644), 0); break;
        }
        if (fs::exists(outside)) fs::permissions(outside, fs::perms(0644));
        if (c.sigFile) std::ofstream(signature, std::ios::binary) << *c.sigFile;
        EXPECT_EQ(InstallSignedUpdater(downloaded, signature, maker.PublicKey(), c.announced, folder_ + "update.exe"),
                  c.verdict);
        const bool installed = c.verdict == UpdaterVerdict::Installed;
        EXPECT_EQ(Read("update.exe"), installed ? updater : "older updater");
        EXPECT_EQ(fs::status(dir_ / "update.exe").permissions() & fs::perms::all,
                  installed ? fs::perms(0755) : fs::perms(0644));
        EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);  // nothing left over
        if (c.put == Put::Link || c.put == Put::SecondName) {
            // The file elsewhere is as it was: not made executable, not moved.
            EXPECT_EQ(test::ReadFile(outside), updater);
            EXPECT_EQ(fs::status(outside).permissions() & fs::perms::all, fs::perms(0644));
        }
    }
    // Nothing was downloaded at all.
    EXPECT_EQ(InstallSignedUpdater(downloaded, signature, maker.PublicKey(), 3.0f, folder_ + "update.exe"),
              UpdaterVerdict::Empty);
}

}  // namespace
}  // namespace nuv
