#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>

#include "platform/QtResources.h"
#include "platform/WebEngineBrowser.h"

// The main() of the benchmarks of windows: an offscreen application with the program's
// schemes and resources, then the benchmarks the command line selects.
#define NUV_GUI_BENCHMARK_MAIN()                                                                          \
    int main(int argc, char** argv) {                                                                     \
        qputenv("QT_QPA_PLATFORM", "offscreen");                                                          \
        if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))                                    \
            qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");                                       \
        nuv::RegisterBrowserSchemes();                                                                    \
        QApplication app(argc, argv);                                                                     \
        nuv::InitResources();                                                                             \
        benchmark::Initialize(&argc, argv);                                                               \
        benchmark::RunSpecifiedBenchmarks();                                                              \
        benchmark::Shutdown();                                                                            \
        return 0;                                                                                         \
    }
