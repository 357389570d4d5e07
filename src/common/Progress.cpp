#include "common/Progress.h"

#include <algorithm>
#include <climits>

namespace nuv {

ProgressBarValues ScaleProgress(std::uint64_t progress, std::uint64_t maximum) {
    if (maximum > 0 && progress > maximum) progress = maximum;
    const std::uint64_t largest = std::max(progress, maximum);
    const std::uint64_t divisor = largest / static_cast<std::uint64_t>(INT_MAX) + 1;
    return {static_cast<int>(maximum / divisor), static_cast<int>(progress / divisor)};
}

int StepPosition(int position, int minimum, int maximum, int step) {
    const long long next = static_cast<long long>(position) + step;
    if (next > maximum) return static_cast<int>(minimum + (next - maximum));
    return static_cast<int>(next);
}

bool ProgressThrottle::Due(std::uint64_t progress, std::uint64_t maximum, std::chrono::steady_clock::time_point now) {
    const bool completes = maximum > 0 && progress >= maximum && !completed_;
    if (!completes && last_ && now - *last_ < interval_) return false;
    if (completes) completed_ = true;
    last_ = now;
    return true;
}

}  // namespace nuv
