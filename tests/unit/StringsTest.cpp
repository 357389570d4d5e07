#include "common/Strings.h"

#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Product.h"
#include "common/Text.h"

namespace nuv {
namespace {

// Number of times `part` occurs in `text`, without overlaps.
size_t CountOf(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + part.size())) ++n;
    return n;
}

const std::vector<const std::string*>& AllEntries() {
    static const std::vector<const std::string*> entries = {
        &strEnterFolder, &strFolderName, &strInvalidFolderName, &strDiskNotExist, &strSelectFiles,
        &strSavedAs,     &strAbout,      &strVersionLabel,      &strHomePageLabel, &DonateAddress};
    return entries;
}

class StringTable : public ::testing::Test {
protected:
    void SetUp() override { ReleaseLanguage(); }
    void TearDown() override { LoadLanguage(); }
};

TEST_F(StringTable, LoadLanguageAlwaysRunsSimplifiedChineseWhateverTheLocale) {
    LanguageIndex = 2;
    ButtonHeight = 0;
    std::setlocale(LC_ALL, "");  // whatever the environment asks for must not matter
    LoadLanguage();
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(LanguageIndex, 0);
    EXPECT_EQ(ButtonHeight, 26);
    EXPECT_EQ(strAbout, "关于");
    EXPECT_EQ(strEnterFolder, "请输入一个文件夹");
    EXPECT_EQ(strSavedAs, "已保存为：%s,按下『鼠标局部截屏』可继续截图");
    EXPECT_EQ(strVersionLabel, "版本号：");
    for (const std::string* entry : AllEntries()) EXPECT_FALSE(entry->empty());
}

TEST_F(StringTable, HomePageLabelAndDonationPageNameTheMakersHost) {
    LoadLanguage();
    AssignProductConstants();
    EXPECT_EQ(strHomePageLabel, "官方主页：www.nuvsoft.example/");
    EXPECT_EQ(strHomePageLabel, "官方主页：" + HomeAddress.substr(std::string("http://").size()));
    EXPECT_TRUE(StartsWith(DonateAddress, HomeAddress));
    EXPECT_GT(DonateAddress.size(), HomeAddress.size());
}

TEST_F(StringTable, EveryTableHasExactlyOnePlaceholderInItsTwoFormats) {
    for (int index : {0, 1, 2}) {
        ReleaseLanguage();
        LoadLanguageByIndex(index);
        SCOPED_TRACE(index);
        EXPECT_EQ(CountOf(strDiskNotExist, "%s"), 1u);
        EXPECT_EQ(CountOf(strSavedAs, "%s"), 1u);
        for (const std::string* entry : AllEntries()) {
            if (entry != &strDiskNotExist && entry != &strSavedAs) {
                EXPECT_EQ(CountOf(*entry, "%"), 0u) << *entry;
            }
        }
        EXPECT_EQ(FormatS(strDiskNotExist, {"/media/x/"}).find("%s"), std::string::npos);
    }
}

TEST_F(StringTable, TraditionalAndEnglishLeaveTheLastThreeEntriesAlone) {
    LoadEnglish();
    EXPECT_EQ(strSelectFiles, "Please select one or more pictures");
    EXPECT_EQ(strDiskNotExist, "Not exist disk:%s ,please reselect a path.");
    EXPECT_EQ(strVersionLabel, "");
    EXPECT_EQ(strHomePageLabel, "");
    EXPECT_EQ(DonateAddress, "");

    ReleaseLanguage();
    LoadTraditionalChinese();
    EXPECT_EQ(strSavedAs, "自動保存為：%s");
    EXPECT_EQ(strAbout, "關於");
    EXPECT_EQ(strVersionLabel, "");

    // Switching over a loaded table keeps what the new one does not assign.
    LoadSimplifiedChinese();
    LoadTraditionalChinese();
    EXPECT_EQ(strAbout, "關於");
    EXPECT_EQ(strVersionLabel, "版本号：");
    EXPECT_EQ(strHomePageLabel, "官方主页：www.nuvsoft.example/");
}

TEST_F(StringTable, IndexSelectsTheTableAndUnknownIndexesFallBackToSimplified) {
    const struct {
        int index;
        const char* about;
    } cases[] = {{0, "关于"}, {1, "關於"}, {2, "About"}, {7, "关于"}, {-1, "关于"}, {3, "关于"}};
    for (const auto& c : cases) {
        ReleaseLanguage();
        LoadLanguageByIndex(c.index);
        EXPECT_EQ(strAbout, c.about) << c.index;
    }
}

TEST_F(StringTable, ReleaseEmptiesEveryEntry) {
    LoadLanguage();
    ReleaseLanguage();
    for (const std::string* entry : AllEntries()) EXPECT_EQ(*entry, "");
}

TEST(Product, ConstantsAndCaption) {
    AssignProductConstants();
    EXPECT_EQ(ProductTitle, "NUV网页提取助手");
    EXPECT_EQ(ProductTitle, ProductTitleText);
    EXPECT_EQ(HomeAddress, "http://www.nuvsoft.example/");
    EXPECT_EQ(DemoAddress, "http://www.nuvsoft.example/demo/lumeta/");
    EXPECT_EQ(UpdateAddress, "https://www.nuvsoft.example/update/zelt/");
    EXPECT_EQ(MainWindowCaption(), "NUV网页提取助手2.2 - www.nuvsoft.example");
}

// The literal formatting of the caption's version, run in the "C" locale.
std::string PrintfVersion(double v) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%1.1f", v);
    return buffer;
}

TEST(Product, FormatVersionPrintsLikePrintfOneDecimalInTheCLocale) {
    ASSERT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    const double values[] = {2.2, 0.0, -0.0, 2.25, 2.35, 2.05, 10.0, 99.95, 99.96, -1.05, 0.04, 1e10, 123456.789, 1e300};
    for (double v : values) EXPECT_EQ(FormatVersion(v), PrintfVersion(v)) << v;
    for (int i = -2000; i <= 2000; ++i) {
        const double v = i / 100.0 + 0.005 * (i % 3);
        ASSERT_EQ(FormatVersion(v), PrintfVersion(v)) << v;
    }
}

}  // namespace
}  // namespace nuv
