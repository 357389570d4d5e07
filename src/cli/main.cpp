#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include <QApplication>

#include "platform/FlashPlayerFiles.h"
#include "platform/QtResources.h"
#include "cli/HeadlessExtraction.h"
#include "cli/logic/ExtractCli.h"
#include "common/EngineSandbox.h"
#include "common/Product.h"

namespace {

// Qt's own warnings are not for the user of a command-line tool.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "nuv-extract: %s\n", qPrintable(text));
}

// The engine needs no display: the offscreen platform unless the caller chose one; no
// GPU and no engine log by default; Chromium refuses its sandbox when run as root; and
// --proxy is the engine's too.
void PrepareEnvironment(const nuv::ExtractCliOptions& options) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (geteuid() == 0 && std::getenv("QTWEBENGINE_DISABLE_SANDBOX") == nullptr)
        setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    const char* flags = std::getenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (flags == nullptr) {
        setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --log-level=3", 1);
    } else if (std::strstr(flags, "--log-level") == nullptr) {
        setenv("QTWEBENGINE_CHROMIUM_FLAGS", (std::string(flags) + " --log-level=3").c_str(), 1);
    }
    // The engine's proxy: one word, checked by ProxyAddressProblem.
    if (!options.proxy.empty()) {
        const std::string proxy = " --proxy-server=" + nuv::EngineProxyServer(options.proxy);
        setenv("QTWEBENGINE_CHROMIUM_FLAGS", (std::getenv("QTWEBENGINE_CHROMIUM_FLAGS") + proxy).c_str(), 1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const nuv::CliParseResult parsed = nuv::ParseExtractCliArguments(args);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "nuv-extract: %s\n\n%s", parsed.error.c_str(), nuv::ExtractCliUsage().c_str());
        return static_cast<int>(nuv::CliExit::Usage);
    }
    if (parsed.options.help) {
        std::fputs(nuv::ExtractCliUsage().c_str(), stdout);
        return 0;
    }
    if (parsed.options.version) {
        std::fputs(nuv::ExtractCliVersion().c_str(), stdout);
        std::fputs(nuv::FlashPlayerStatus().c_str(), stdout);
        return 0;
    }

    // A reader that goes away (a pipe into head) is a failed write, which the run reports
    // and stops on, never a signal that ends it unseen.
    std::signal(SIGPIPE, SIG_IGN);
    PrepareEnvironment(parsed.options);
    const std::string warning = nuv::RootSandboxWarning(geteuid(), std::getenv("QTWEBENGINE_DISABLE_SANDBOX"),
                                                        std::getenv("QTWEBENGINE_CHROMIUM_FLAGS"));
    if (!warning.empty()) std::fprintf(stderr, "nuv-extract: %s\n", warning.c_str());
    qInstallMessageHandler(QuietMessages);
    // The engine, loaded with its module once a page needs it, shares its contexts.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Qt and the engine see no arguments of ours.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    // A run that cannot need the engine starts no window system: no platform, no fonts.
    std::unique_ptr<QCoreApplication> app;
    if (nuv::RunNeedsNoEngine(parsed.options)) app = std::make_unique<QCoreApplication>(qtArgc, qtArgv);
    else app = std::make_unique<QApplication>(qtArgc, qtArgv);
    QCoreApplication::setApplicationName(QStringLiteral("nuv-extract"));
    nuv::InitResources();
    return nuv::RunExtractCli(parsed.options);
}
