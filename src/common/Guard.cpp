#include "common/Guard.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

namespace nuv {

void NoteSwallowed(const char* function, const char* file, unsigned line) noexcept {
    const char* debug = std::getenv("NUV_DEBUG");
    if (debug == nullptr || std::strcmp(debug, "1") != 0) return;
    // The exception stays alive through `current` while its text is printed.
    const std::exception_ptr current = std::current_exception();
    const char* what = "nothing (called outside a catch block)";
    if (current) {
        what = "an exception of no standard type";
        try {
            std::rethrow_exception(current);
        } catch (const std::exception& e) {
            what = e.what();
        } catch (...) {
        }
    }
    std::fprintf(stderr, "nuv: swallowed in %s (%s:%u): %s\n", function, file, line, what);
}

std::string WhyOfCurrentFailure() {
    const std::exception_ptr current = std::current_exception();
    if (!current) return "unknown failure";
    try {
        std::rethrow_exception(current);
    } catch (const std::exception& e) {
        return *e.what() ? e.what() : "unknown failure";
    } catch (...) {
        return "unknown failure";
    }
}

}  // namespace nuv
