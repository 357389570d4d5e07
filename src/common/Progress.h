#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

// The rules of every progress display of the program: the window's bar, the update
// window's bar and the terminal bar of nuv-extract.
namespace nuv {

// The range and position of a progress bar (int) for a download's progress (64-bit).
// Both are scaled down together when the size does not fit an int; the position never
// exceeds a known maximum. A maximum of 0 (size unknown) stays 0.
struct ProgressBarValues {
    int maximum = 0;
    int position = 0;
};
ProgressBarValues ScaleProgress(std::uint64_t progress, std::uint64_t maximum);

// The position after one step of a bar from `minimum` to `maximum`: past the maximum the
// bar starts over from its minimum, as the desktop's progress bar does.
int StepPosition(int position, int minimum, int maximum, int step = 10);

// Decides which progress reports reach a display: at most one every `interval`, and the
// one that completes the transfer. Used by one thread.
class ProgressThrottle {
public:
    explicit ProgressThrottle(std::chrono::milliseconds interval = std::chrono::milliseconds(50))
        : interval_(interval) {}
    bool Due(std::uint64_t progress, std::uint64_t maximum, std::chrono::steady_clock::time_point now);

private:
    std::chrono::milliseconds interval_;
    std::optional<std::chrono::steady_clock::time_point> last_;
    bool completed_ = false;
};

}  // namespace nuv
