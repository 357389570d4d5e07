#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/Progress.h"
#include "common/WindowPorts.h"

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

// ProgressBar1 of a run without a window: drawn on the terminal for a one-page run,
// nowhere for a list (whose line counts pages).
class TerminalProgressBar : public IProgressBar {
public:
    TerminalProgressBar(TerminalProgress& progress, bool shown) : progress_(progress), shown_(shown) {}
    void SetProgressMaximum(int maximum) override;
    void SetProgressPosition(int position) override;
    void StepProgress() override;

private:
    void Draw();

    TerminalProgress& progress_;
    bool shown_;
    int maximum_ = 100;
    int position_ = 0;
};

// Prints "nuv-extract: TEXT" as one line on standard error: what a page or server wrote
// into it is escaped.
void PrintCliError(const std::string& text);

}  // namespace nuv
