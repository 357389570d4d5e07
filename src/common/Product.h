#pragma once

#include <array>
#include <string>
#include <string_view>

// The product constants: the program's title, version and the maker's addresses.
namespace nuv {

// The maker's web host name, shown in the main window's caption. The update page and
// the updater come from it, over https only.
inline constexpr std::string_view MakerHost = "www.nuvsoft.example";

// The maker's home page; the value `HomeAddress` takes.
inline constexpr std::string_view MakerHomePage = "http://www.nuvsoft.example/";

// The maker's donation page; the value the string table gives `DonateAddress`.
inline constexpr std::string_view MakerDonatePage = "http://www.nuvsoft.example/donate/";

// The maker's home page without its trailing "/": the address box's text before the
// settings replace it.
std::string MakerSite();

// The product title as a literal, for the application title that is set before
// `AssignProductConstants` runs.
inline constexpr std::string_view ProductTitleText = "NUV网页提取助手";

// The version compared against the update page and shown in captions and the about
// window; the one place it is written.
inline constexpr double ProductVersion = 2.2;

// The names of the program's own files in its folder, which no download may replace: the
// settings, the recent addresses, the updater, the hand-over file and both programs.
inline constexpr std::array<std::string_view, 6> kProgramFileNames = {
    "defualt.ini", "typedurls.txt", "update.exe", "update.txt", "nuv-webextract", "nuv-extract"};

// Program-wide constants, empty until `AssignProductConstants` runs.
extern std::string ProductTitle;
extern std::string HomeAddress;
extern std::string DemoAddress;
extern std::string UpdateAddress;

// Assigns `ProductTitle`, `HomeAddress`, `DemoAddress` and `UpdateAddress`. The main
// window calls it once, right after `LoadLanguage`, on the UI thread.
void AssignProductConstants();

// A version printed like "%1.1f" (2.2 -> "2.2"), independent of the C locale.
std::string FormatVersion(double version);

// The main window's caption: `ProductTitle`, the version with one decimal, " - " and
// the maker's host, e.g. "NUV网页提取助手2.2 - www.nuvsoft.example".
std::string MainWindowCaption();

}  // namespace nuv
