#include "support/finding.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace quizhost::fuzzing {

void report_finding(std::string_view what, std::string_view detail) {
    std::fprintf(stderr, "==FINDING== %.*s\n", static_cast<int>(what.size()), what.data());
    if (!detail.empty()) {
        // Shown escaped, as the bytes may hold anything.
        std::string shown;
        for (unsigned char c : detail.substr(0, 2000)) {
            if (c >= 32 && c < 127 && c != '\\') {
                shown += static_cast<char>(c);
            } else {
                char escape[5];
                std::snprintf(escape, sizeof escape, "\\x%02X", c);
                shown += escape;
            }
        }
        std::fprintf(stderr, "==FINDING== %s\n", shown.c_str());
    }
    std::fflush(stderr);
    std::abort();
}

}  // namespace quizhost::fuzzing
