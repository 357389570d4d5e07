#pragma once

#include <string>

// The string table: messages, hints and captions that the code puts on screen. Each
// entry is one program-wide text, empty until `LoadLanguage` fills it at start-up on
// the UI thread; readers take its current text and never keep their own copy.
namespace nuv {

// The table in use: 0 Simplified Chinese, 1 Traditional Chinese, 2 English.
extern int LanguageIndex;

// Height in pixels of the brand panel's three buttons.
extern int ButtonHeight;

extern std::string strEnterFolder;        // message: the save-folder box was left empty
extern std::string strFolderName;         // hint prefix before ":%s" and a saved file's path
extern std::string strInvalidFolderName;  // hint: the save folder cannot be used
extern std::string strDiskNotExist;       // message format, one "%s": the save folder
extern std::string strSelectFiles;        // message: nothing selected in the saved list
extern std::string strSavedAs;            // hint format, one "%s": the saved file's name
extern std::string strAbout;              // about window caption
extern std::string strVersionLabel;       // about window: before the version number
extern std::string strHomePageLabel;      // about window: the maker's home page
extern std::string DonateAddress;         // brand panel menu: the maker's donation page

// Sets `ButtonHeight` to 26 and `LanguageIndex` to 0, then loads the table that
// `LanguageIndex` selects with `LoadLanguageByIndex`.
void LoadLanguage();

// Runs the loader that `index` selects: 1 `LoadTraditionalChinese`, 2 `LoadEnglish`,
// any other value `LoadSimplifiedChinese`.
void LoadLanguageByIndex(int index);

// Each assigns the entries of its table; an entry the table does not assign keeps its
// text (the Traditional and English tables leave the last three entries alone).
void LoadSimplifiedChinese();
void LoadTraditionalChinese();
void LoadEnglish();

// Empties every entry, as at shutdown.
void ReleaseLanguage();

}  // namespace nuv
