#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include <QApplication>
#include <QTest>

#include "app/Resources.h"
#include "app/WebEngineBrowser.h"
#include "common/Dialogs.h"
#include "common/Shell.h"
#include "web/PageFetcher.h"

namespace nuv::test {

// Records messages instead of blocking on a modal box.
class RecordingDialogs : public IDialogs {
public:
    std::string BrowseForFolder(const std::string& title, const std::string&) override {
        folderTitles.push_back(title);
        return nextFolder;
    }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }

    std::vector<std::string> messages;
    std::vector<std::string> folderTitles;
    std::string nextFolder;
};

class RecordingShell : public IShell {
public:
    bool Open(const std::string& target) override {
        opened.push_back(target);
        return true;
    }
    bool StartProgram(const std::string& program) override {
        started.push_back(program);
        return true;
    }
    std::vector<std::string> opened;
    std::vector<std::string> started;
};

// A fetcher for tests that do not fetch frame pages.
class NoFetcher : public IPageFetcher {
public:
    std::string Get(const std::string& url) override { throw std::runtime_error("no fetch: " + url); }
};

}  // namespace nuv::test

// main() for a GUI test: the program's schemes are registered before the application
// exists, as in the program itself.
#define NUV_GUI_TEST_MAIN(TestClass)                  \
    int main(int argc, char** argv) {                 \
        nuv::RegisterBrowserSchemes();                \
        QApplication app(argc, argv);                 \
        nuv::InitResources();                         \
        TestClass test;                               \
        return QTest::qExec(&test, argc, argv);       \
    }
