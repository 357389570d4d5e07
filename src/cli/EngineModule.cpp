// The module of nuv-extract that holds the browser engine: the headless views, their
// loads and scrollings, over Qt WebEngine. The program loads it once a page needs the
// engine (see RunEngine.h).
#include <memory>
#include <string>
#include <utility>

#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "cli/HeadlessPage.h"
#include "cli/RunEngine.h"
#include "platform/PageScroller.h"
#include "platform/WebEngineBrowser.h"

namespace nuv {
namespace {

class EngineLoad final : public IEngineLoad {
public:
    template <typename... Args>
    explicit EngineLoad(Args&&... args) : load_(std::forward<Args>(args)...) {}
    void Start(const std::string& address) override { load_.Start(address); }
    void Stop() override { load_.Stop(); }
    int Retries() const override { return load_.Retries(); }

private:
    PageLoad load_;
};

class EngineScroll final : public IEngineScroll {
public:
    EngineScroll(QWebEnginePage* page, ScrollTimes times, Finished finished, Progress progress)
        : scroller_(page, times, std::move(finished), std::move(progress)) {}
    void Start() override { scroller_.Start(); }

private:
    PageScroller scroller_;
};

class EngineView final : public IEngineView {
public:
    IBrowser& Browser() override { return view_.Browser(); }
    bool WaitForFrames() override { return view_.Browser().WaitForFrames(); }
    void Close() override { view_.Browser().Close(); }
    void LoadPictures(bool on) override {
        view_.View()->page()->settings()->setAttribute(QWebEngineSettings::AutoLoadImages, on);
    }
    void RecordShownPictures(bool on) override { view_.Browser().RecordShownPictures(on); }
    void ClearHistory() override { view_.View()->page()->history()->clear(); }
    std::unique_ptr<IEngineLoad> Load(int timeoutMs, QObject* receiver, IEngineLoad::Finished finished,
                                      std::function<void(int, int)> progress, RetryRule retry) override {
        return std::make_unique<EngineLoad>(view_, timeoutMs, receiver, std::move(finished), std::move(progress),
                                            retry);
    }
    std::unique_ptr<IEngineScroll> Scroll(ScrollTimes times, IEngineScroll::Finished finished,
                                          IEngineScroll::Progress progress) override {
        return std::make_unique<EngineScroll>(view_.View()->page(), times, std::move(finished), std::move(progress));
    }

private:
    HeadlessView view_;
};

class Engine final : public IRunEngine {
public:
    void Start(const std::string& userAgent, BrowserCookies& cookies) override {
        RegisterBrowserSchemes();
        StartRunEngine(userAgent, cookies);
    }
    std::unique_ptr<IEngineView> NewView() override { return std::make_unique<EngineView>(); }
};

}  // namespace
}  // namespace nuv

extern "C" __attribute__((visibility("default"))) nuv::IRunEngine* nuv_run_engine() {
    static nuv::Engine engine;
    return &engine;
}
