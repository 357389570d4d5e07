#include "cli/StopSignals.h"

#include <atomic>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

#include <QObject>
#include <QSocketNotifier>

namespace nuv {
namespace {

// The signal that asked the run to stop, 0 while none did. Set by the handler; read
// anywhere (a lock-free atomic, safe in a signal handler).
std::atomic<int> g_stopSignal{0};
int g_stopPipe[2] = {-1, -1};
// Set when the run stops for another reason (its output is gone).
std::atomic<bool> g_halted{false};

extern "C" void OnStopSignal(int sig) {
    // A second signal while the run winds down ends it at once.
    if (g_stopSignal.load() != 0) _exit(128 + sig);
    g_stopSignal.store(sig);
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(g_stopPipe[1], &byte, 1);
}

}  // namespace

bool Stopping() { return g_stopSignal.load() != 0 || g_halted.load(); }

void ThrowIfStopping() {
    if (Stopping()) throw RunStopped();
}

void HaltStopSignals() { g_halted = true; }

const char* SignalName(int sig) { return sig == SIGINT ? "SIGINT" : sig == SIGTERM ? "SIGTERM" : "a signal"; }

StopSignals::StopSignals(std::function<void(int sig)> stop) {
    if (pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(g_stopPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [stop = std::move(stop)] {
        char bytes[16];
        while (read(g_stopPipe[0], bytes, sizeof bytes) > 0) {
        }
        stop(g_stopSignal.load());
    });
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

StopSignals::~StopSignals() {
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    notifier_.reset();
    for (int& fd : g_stopPipe) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
}

}  // namespace nuv
