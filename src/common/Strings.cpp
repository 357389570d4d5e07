#include "common/Strings.h"

#include <string_view>

#include "common/Product.h"

namespace nuv {

int LanguageIndex = 0;
int ButtonHeight = 0;

std::string strEnterFolder;
std::string strFolderName;
std::string strInvalidFolderName;
std::string strDiskNotExist;
std::string strSelectFiles;
std::string strSavedAs;
std::string strAbout;
std::string strVersionLabel;
std::string strHomePageLabel;
std::string DonateAddress;

namespace {

// An address without its scheme: "http://host/" -> "host/".
std::string WithoutScheme(std::string_view address) {
    const size_t pos = address.find("://");
    return std::string(pos == std::string_view::npos ? address : address.substr(pos + 3));
}

}  // namespace

void LoadLanguage() {
    ButtonHeight = 26;
    LanguageIndex = 0;
    LoadLanguageByIndex(LanguageIndex);
}

void LoadLanguageByIndex(int index) {
    switch (index) {
        case 1:
            LoadTraditionalChinese();
            break;
        case 2:
            LoadEnglish();
            break;
        default:
            LoadSimplifiedChinese();
            break;
    }
}

void LoadSimplifiedChinese() {
    strEnterFolder = "请输入一个文件夹";
    strFolderName = "文件夹名称";
    strInvalidFolderName = "请选择一个合法的文件夹名称";
    strDiskNotExist = "磁盘%s不存在，请重选择一个路径。";
    strSelectFiles = "请选择一个或多个文件";
    strSavedAs = "已保存为：%s,按下『鼠标局部截屏』可继续截图";
    strAbout = "关于";
    strVersionLabel = "版本号：";
    strHomePageLabel = "官方主页：" + WithoutScheme(MakerHomePage);
    DonateAddress = std::string(MakerDonatePage);
}

void LoadTraditionalChinese() {
    strEnterFolder = "請輸入一個文件夾";
    strFolderName = "文件夾名稱";
    strInvalidFolderName = "請選擇一個合法的文件夾名稱";
    strDiskNotExist = "磁盤%s不存在，請重選擇一個路徑。";
    strSelectFiles = "請選擇一個或多個文件";
    strSavedAs = "自動保存為：%s";
    strAbout = "關於";
}

void LoadEnglish() {
    strEnterFolder = "Please enter a path";
    strFolderName = "cur path";
    strInvalidFolderName = "Please Choose a valid path";
    strDiskNotExist = "Not exist disk:%s ,please reselect a path.";
    strSelectFiles = "Please select one or more pictures";
    strSavedAs = "saved to %s";
    strAbout = "About";
}

void ReleaseLanguage() {
    for (std::string* entry : {&strEnterFolder, &strFolderName, &strInvalidFolderName, &strDiskNotExist,
                               &strSelectFiles, &strSavedAs, &strAbout, &strVersionLabel, &strHomePageLabel,
                               &DonateAddress}) {
        entry->clear();
    }
}

}  // namespace nuv
