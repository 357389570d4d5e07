#include "frame/logic/UpdateRules.h"

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include <gtest/gtest.h>

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

TEST(ReadSignature, RawBytesOrTheirBase64Text) {
    const std::string raw(64, '\x9c');
    const std::string text = test::Base64(raw);
    EXPECT_EQ(ReadSignature(raw), raw);
    EXPECT_EQ(ReadSignature(text), raw);
    EXPECT_EQ(ReadSignature(" " + text + "\r\n"), raw);
    for (const std::string& bad : {raw.substr(1), raw + "x", text.substr(4), text + "AAAA", "!" + text.substr(1),
                                   text.substr(0, 84) + "A=A=", std::string()})
        EXPECT_EQ(ReadSignature(bad), std::nullopt) << bad;
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

TEST_F(UpdateFolder, WritableFolderAndExecutableUpdater) {
    EXPECT_TRUE(FolderIsWritable(folder_));
    EXPECT_TRUE(FolderIsWritable(dir_.string()));
    EXPECT_FALSE(FolderIsWritable(folder_ + "missing/"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 0);  // no probe left

    const struct {
        fs::perms before;
        fs::perms after;
    } cases[] = {
        {fs::perms(0644), fs::perms(0755)},
        {fs::perms(0600), fs::perms(0700)},
        {fs::perms(0640), fs::perms(0750)},
    };
    const fs::path updater = dir_ / "update.exe";
    std::ofstream(updater) << "#!/bin/sh\n";
    for (const auto& c : cases) {
        fs::permissions(updater, c.before);
        ASSERT_TRUE(MakeExecutable(updater.string()));
        EXPECT_EQ(fs::status(updater).permissions() & fs::perms::all, c.after);
    }
    EXPECT_FALSE(MakeExecutable((dir_ / "missing.exe").string()));
}

// The downloaded updater replaces the older one only with a signature of the trusted key.
TEST_F(UpdateFolder, SignedUpdaterReplacesTheOlderOneAndNothingElseDoes) {
    const test::SigningKey maker;
    const test::SigningKey other;
    const std::string updater = "#!/bin/sh\necho updated\n" + std::string(5000, '#');
    const std::string good = maker.Sign(updater);
    const struct {
        const char* what;
        std::string download;                // what arrived
        std::optional<std::string> sigFile;  // the signature file, none when it could not be fetched
        UpdaterVerdict verdict;
    } cases[] = {
        {"good", updater, good, UpdaterVerdict::Installed},
        {"good, base64 text", updater, test::Base64(good) + "\n", UpdaterVerdict::Installed},
        {"wrong key", updater, other.Sign(updater), UpdaterVerdict::BadSignature},
        {"cut short", updater.substr(0, updater.size() - 1), good, UpdaterVerdict::BadSignature},
        {"altered", updater + "rm -rf ~\n", good, UpdaterVerdict::BadSignature},
        {"missing signature", updater, std::nullopt, UpdaterVerdict::NoSignature},
        {"signature file of another kind", updater, "<html>not found</html>", UpdaterVerdict::NoSignature},
        {"empty file", "", maker.Sign(""), UpdaterVerdict::Empty},
    };
    const std::string downloaded = folder_ + ".nuvpart.update.exe";
    const std::string signature = downloaded + ".sig";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::ofstream(dir_ / "update.exe", std::ios::binary | std::ios::trunc) << "older updater";
        fs::permissions(dir_ / "update.exe", fs::perms(0644));
        std::ofstream(downloaded, std::ios::binary) << c.download;
        if (c.sigFile) std::ofstream(signature, std::ios::binary) << *c.sigFile;
        EXPECT_EQ(InstallSignedUpdater(downloaded, signature, maker.PublicKey(), folder_ + "update.exe"), c.verdict);
        const bool installed = c.verdict == UpdaterVerdict::Installed;
        EXPECT_EQ(Read("update.exe"), installed ? updater : "older updater");
        EXPECT_EQ(fs::status(dir_ / "update.exe").permissions() & fs::perms::all,
                  installed ? fs::perms(0755) : fs::perms(0644));
        EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);  // nothing left over
    }
    // Nothing was downloaded at all.
    EXPECT_EQ(InstallSignedUpdater(downloaded, signature, maker.PublicKey(), folder_ + "update.exe"),
              UpdaterVerdict::Empty);
}

}  // namespace
}  // namespace nuv
