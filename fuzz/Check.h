#pragma once

#include <cstdlib>

// What a fuzz target requires of every input: a property that does not hold ends the
// run at once, so libFuzzer keeps the input and the replay test fails.
namespace nuv::fuzz {

inline void Check(bool holds) {
    if (!holds) std::abort();
}

}  // namespace nuv::fuzz
