#include "cli/TerminalProgress.h"

#include <algorithm>
#include <cstdio>

#include <sys/ioctl.h>
#include <unistd.h>

#include "cli/logic/CliOutput.h"
#include "cli/logic/RunPrinter.h"

namespace nuv {
namespace {

int TerminalColumns() {
    winsize ws{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
    return 80;
}

}  // namespace

void TerminalProgress::Show(std::int64_t position, std::int64_t maximum, std::string_view label, bool force) {
    if (!enabled_) return;
    const auto progress = static_cast<std::uint64_t>(std::max<std::int64_t>(position, 0));
    const auto total = static_cast<std::uint64_t>(std::max<std::int64_t>(maximum, 0));
    if (!throttle_.Due(progress, total, std::chrono::steady_clock::now()) && !force) return;
    const int columns = TerminalColumns();
    // The bar gives way to a long label: "[", "] ", " 35% " and the label fit the line.
    const int room = columns - 1 - 8 - static_cast<int>(label.size());
    const int width = std::clamp(room, 10, columns >= 60 ? 30 : 10);
    std::string line = FormatProgressBar(position, maximum, width, label);
    // Never wrap: a wrapped line could not be redrawn in place.
    if (static_cast<int>(line.size()) > columns - 1) {
        line.resize(static_cast<size_t>(std::max(columns - 1, 0)));
        // ...and never end inside a UTF-8 sequence.
        while (!line.empty() && (static_cast<unsigned char>(line.back()) & 0xC0u) == 0x80u) line.pop_back();
        if (!line.empty() && static_cast<unsigned char>(line.back()) >= 0xC0u) line.pop_back();
    }
    std::fprintf(stderr, "\r%s\x1b[K", line.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void TerminalProgress::Clear() {
    if (!drawn_) return;
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
    drawn_ = false;
}

void TerminalProgressBar::SetProgressMaximum(int maximum) {
    maximum_ = maximum;
    Draw();
}

void TerminalProgressBar::SetProgressPosition(int position) {
    position_ = position;
    Draw();
}

void TerminalProgressBar::StepProgress() {
    position_ = StepPosition(position_, 0, maximum_);
    Draw();
}

void TerminalProgressBar::Draw() {
    if (shown_) progress_.Show(position_, maximum_, "extracting");
}

void PrintCliError(const std::string& text) { std::fputs(FormatCliError(text).c_str(), stderr); }

}  // namespace nuv
