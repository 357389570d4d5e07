#include "cli/logic/PageScheduler.h"

namespace nuv {

std::optional<std::size_t> PageScheduler::Next() {
    if (stopped_ || next_ >= pages_ || open_ >= jobs_ || waiting_ >= jobs_ * kWaitingPagesPerJob) return std::nullopt;
    ++open_;
    return next_++;
}

void PageScheduler::LeftEngine() {
    if (open_ > 0) --open_;
}

void PageScheduler::DownloadsEnded() {
    if (waiting_ > 0) --waiting_;
}

bool PageScheduler::TakeEnd() {
    if (ended_ || stopped_ || next_ < pages_ || finished_ < next_) return false;
    ended_ = true;
    return true;
}

}  // namespace nuv
