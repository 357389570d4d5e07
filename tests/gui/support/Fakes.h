#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include <QApplication>
#include <QTest>

#include "platform/QtResources.h"
#include "platform/WebEngineBrowser.h"
#include "common/Dialogs.h"
#include "common/Shell.h"
#include "support/FakeNetwork.h"
#include "support/QtFiles.h"
#include "support/Recorders.h"

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
