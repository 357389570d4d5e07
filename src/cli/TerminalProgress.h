#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/Progress.h"

namespace nuv {

// A one-line progress bar on standard error, redrawn in place. Draws nothing when it is
// disabled (standard error is not a terminal, or --quiet). Redraws at most every 50 ms
// unless forced.
class TerminalProgress {
public:
    explicit TerminalProgress(bool enabled) : enabled_(enabled) {}
    ~TerminalProgress() { Clear(); }
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    bool Enabled() const { return enabled_; }
    void Show(std::int64_t position, std::int64_t maximum, std::string_view label, bool force = false);
    // Erases the bar, so that a message or the summary starts on a clean line.
    void Clear();

private:
    bool enabled_;
    bool drawn_ = false;
    ProgressThrottle throttle_;
};

}  // namespace nuv
