// A refresh of the saved-files list over a folder of 1 000 and 10 000 files: from the
// call until the list is filled (the refresh runs on the user-interface thread after
// every download), then the same with the list's repaint, and the folder listing alone.
//   ./build/bench/saved_list_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QListWidget>
#include <QVBoxLayout>
#include <QWidget>

#include "library/SavedFilesPanel.h"
#include "library/logic/SavedFiles.h"
#include "support/Recorders.h"

namespace {

namespace fs = std::filesystem;

QApplication& App() {
    static int argc = 1;
    static char name[] = "saved_list_bench";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}

class QuietHost : public nuv::IHintBar, public nuv::IAddressBox {
public:
    void ShowHint(const std::string&) override {}
    std::string AddressBoxText() override { return {}; }
    void HideAddressDropDown() override {}
    void OpenTypedAddress() override {}
};

// A folder of `count` empty files named like downloaded pictures, made once per size
// and removed at exit.
const std::string& Folder(int count) {
    struct Made {
        std::string path;
        ~Made() {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
    };
    static std::vector<std::pair<int, std::unique_ptr<Made>>> made;
    for (const auto& [n, m] : made) {
        if (n == count) return m->path;
    }
    auto m = std::make_unique<Made>();
    m->path =
        (fs::temp_directory_path() / ("nuv-saved-bench-" + std::to_string(count))).string() + "/";
    fs::remove_all(m->path);
    fs::create_directories(m->path);
    char name[64];
    for (int i = 0; i < count; ++i) {
        std::snprintf(name, sizeof name, "picture-%05d.jpg", i);
        std::ofstream(m->path + name);
    }
    made.emplace_back(count, std::move(m));
    return made.back().second->path;
}

// The panel with its list shown in a window the size of the program's left column.
struct ShownPanel {
    QuietHost host;
    nuv::WindowState state;
    nuv::test::RecordingDialogs dialogs;
    nuv::test::RecordingShell shell;
    QWidget window;
    nuv::SavedFilesPanel panel{nuv::SavedFilesServices{host, host, state, dialogs, shell, "/tmp/"},
                               &window};

    explicit ShownPanel(const std::string& folder) {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(panel.ListPart());
        window.resize(180, 600);
        window.show();
        state.CurPicName = "picture-00500.jpg";
        panel.SetFolderBoxText(folder);
        QApplication::processEvents();
    }
};

void BM_RefreshSavedList(benchmark::State& st) {
    App();
    ShownPanel p(Folder(static_cast<int>(st.range(0))));
    for (auto _ : st) p.panel.RefreshSavedList();
    st.counters["entries"] = static_cast<double>(p.panel.Entries().size());
}
BENCHMARK(BM_RefreshSavedList)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_RefreshSavedListAndRepaint(benchmark::State& st) {
    App();
    ShownPanel p(Folder(static_cast<int>(st.range(0))));
    for (auto _ : st) {
        p.panel.RefreshSavedList();
        p.window.repaint();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_RefreshSavedListAndRepaint)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_ListFolderFiles(benchmark::State& st) {
    const std::string& folder = Folder(static_cast<int>(st.range(0)));
    for (auto _ : st) {
        std::vector<std::string> files;
        nuv::ListFolderFiles(folder, "", files);
        benchmark::DoNotOptimize(files.data());
    }
}
BENCHMARK(BM_ListFolderFiles)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
