// How a fuzzer's input bytes become its arguments. Inputs are text with one argument per line and the
// last argument taking the rest (any bytes), so the seed corpora stay readable and libFuzzer's mutations
// of them stay meaningful.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace quizhost::fuzzing {

class input_fields {
public:
    input_fields(const std::uint8_t* data, std::size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}

    // The bytes up to the next LF (not included); the rest when there is none.
    std::string line() {
        const std::size_t end = rest_.find('\n');
        std::string field(rest_.substr(0, end));
        rest_ = end == std::string_view::npos ? std::string_view{} : rest_.substr(end + 1);
        return field;
    }

    // The next line read as a small signed number (decimal digits after an optional "-"; anything else
    // stops it). Never overflows: digits beyond `limit` are ignored.
    long number(long limit = 1000000) {
        const std::string text = line();
        std::size_t at = 0;
        const bool negative = !text.empty() && text[0] == '-';
        if (negative) at = 1;
        long value = 0;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
            if (value <= limit / 10) value = value * 10 + (text[at] - '0');
        }
        return negative ? -value : value;
    }

    // Everything not taken yet.
    std::string rest() {
        std::string all(rest_);
        rest_ = {};
        return all;
    }
    bool empty() const { return rest_.empty(); }

private:
    std::string_view rest_;
};

// The draws an input names: numbers separated by anything that is not a number, each held to [0, 1) as
// the draws seam promises (the fraction of its size; 0 for a value that is not finite).
inline std::vector<double> draws_in(std::string_view numbers) {
    const std::string text(numbers);
    std::vector<double> draws;
    const char* at = text.c_str();
    const char* end = at + text.size();
    while (at < end) {
        char* stop = nullptr;
        const double value = std::strtod(at, &stop);
        if (stop == at) {
            ++at;
            continue;
        }
        at = stop;
        double u = std::isfinite(value) ? std::fabs(std::fmod(value, 1.0)) : 0.0;
        if (!(u >= 0 && u < 1)) u = 0;
        draws.push_back(u);
    }
    return draws;
}

}  // namespace quizhost::fuzzing
