#include "web/ScrollPlan.h"

#include <algorithm>

namespace nuv {

ScrollStep ScrollPlan::Next(long long nowMs, const ScrollSight& sight) {
    if (done_) return ScrollStep::Done;
    if (!last_ || !(*last_ == sight)) {
        const bool grown = last_ && (sight.height != last_->height || sight.pictures != last_->pictures);
        if (!last_ || sight.requests != last_->requests || grown) changedMs_ = nowMs;
        if (grown) {
            newMs_ = nowMs;
            newSinceScroll_ = true;
        }
        last_ = sight;
    }
    if (nowMs >= times_.limitMs) {
        done_ = hitLimit_ = true;
        return ScrollStep::Done;
    }
    if (screens_ == 0) {
        const bool quiet = nowMs - changedMs_ >= times_.quietMs;
        return quiet || nowMs >= times_.firstAtMostMs ? Scroll(nowMs) : ScrollStep::Wait;
    }
    if (newSinceScroll_) {
        // A page that keeps its network busy is not waited for beyond stillMs.
        const bool settled = nowMs - changedMs_ >= times_.settleMs || nowMs - scrolledMs_ >= times_.stillMs;
        return settled ? Scroll(nowMs) : ScrollStep::Wait;
    }
    if (!sight.atEnd) return Scroll(nowMs);
    // The screen that reached the end has had its time to bring more.
    if (nowMs - std::max(newMs_, scrolledMs_) >= times_.stillMs) {
        done_ = true;
        return ScrollStep::Done;
    }
    return ScrollStep::Wait;
}

ScrollStep ScrollPlan::Scroll(long long nowMs) {
    ++screens_;
    scrolledMs_ = nowMs;
    newSinceScroll_ = false;
    return ScrollStep::Scroll;
}

}  // namespace nuv
