#pragma once

#include <exception>
#include <functional>
#include <memory>

class QSocketNotifier;

// How a run of nuv-extract stops: SIGINT and SIGTERM, or the run itself when its output
// is gone. One set for the process.
namespace nuv {

// What a download or fetch throws once the run is asked to stop: its transfer ends at
// once and leaves no file.
class RunStopped : public std::exception {
public:
    const char* what() const noexcept override { return "the run was stopped"; }
};

// True once a signal asked the run to stop or HaltStopSignals was called. Any thread.
bool Stopping();
// Throws RunStopped when Stopping(): the wait hook of every transfer of the run.
void ThrowIfStopping();
// The run stops for a reason of its own (its output is gone).
void HaltStopSignals();
// "SIGINT", "SIGTERM" or "a signal".
const char* SignalName(int sig);

// Turns SIGINT and SIGTERM into a call of `stop` on the event loop, for as long as it
// lives; a second signal while the run winds down ends the process at once (128 + it).
class StopSignals {
public:
    explicit StopSignals(std::function<void(int sig)> stop);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace nuv
