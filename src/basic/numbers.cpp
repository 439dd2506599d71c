#include "basic/numbers.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "definitions.hpp"

namespace quizhost {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Length of the number at the start of `text` (sign, digits, one point), or 0 when it holds no digit.
std::size_t number_prefix_length(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    bool digits = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        if (is_digit(text[i])) {
            digits = true;
        } else if (text[i] == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    return digits ? i : 0;
}

double parse_prefix(std::string_view number) {
    // strtod needs a terminated copy; the prefix is short and holds only sign, digits and a point.
    std::string copy(number);
    return std::strtod(copy.c_str(), nullptr);
}

}  // namespace

double leading_number(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && is_blank(text[start])) ++start;
    text.remove_prefix(start);
    const std::size_t length = number_prefix_length(text);
    return length == 0 ? 0.0 : parse_prefix(text.substr(0, length));
}

double strict_number(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && is_blank(text[start])) ++start;
    std::size_t end = text.size();
    while (end > start && is_blank(text[end - 1])) --end;
    const std::string_view body = text.substr(start, end - start);
    const std::size_t length = number_prefix_length(body);
    if (length == 0 || length != body.size()) {
        throw run_time_error(type_mismatch, error_description(type_mismatch),
                             "not a number: \"" + std::string(body.substr(0, 40)) + "\"");
    }
    return parse_prefix(body);
}

namespace {

template <typename Int>
Int round_half_even(double value) {
    if (!std::isfinite(value)) throw run_time_error(overflow);
    const double rounded = std::nearbyint(value);  // the default rounding mode is to nearest, ties to even
    if (rounded < static_cast<double>(std::numeric_limits<Int>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<Int>::max())) {
        throw run_time_error(overflow);
    }
    return static_cast<Int>(rounded);
}

}  // namespace

std::int32_t round_to_int32(double value) { return round_half_even<std::int32_t>(value); }

std::optional<std::int32_t> round_to_int32_if_in_range(double value) {
    try {
        return round_half_even<std::int32_t>(value);
    } catch (const run_time_error&) {
        return std::nullopt;
    }
}
std::int16_t round_to_int16(double value) { return round_half_even<std::int16_t>(value); }

std::string number_to_text(std::int64_t value) { return std::to_string(value); }

std::string number_to_text(double value) {
    if (!std::isfinite(value)) {
        throw run_time_error(overflow, error_description(overflow),
                             std::isnan(value) ? "not a number" : "a number beyond any stored value");
    }
    if (value == 0.0) return "0";  // also -0
    if (value == std::trunc(value) && std::fabs(value) < 1e15) {
        return std::to_string(static_cast<std::int64_t>(value));
    }
    // The fewest significant digits (at most 15) that give the value back...
    char buffer[400];
    int precision = 1;
    for (; precision < 15; ++precision) {
        std::snprintf(buffer, sizeof buffer, "%.*E", precision - 1, value);
        if (std::strtod(buffer, nullptr) == value) break;
    }
    std::snprintf(buffer, sizeof buffer, "%.*E", precision - 1, value);
    const int exponent = std::atoi(std::strchr(buffer, 'E') + 1);
    // ...written in plain decimal, never with an exponent: the files are read back with the leading-number
    // rule, which would take "1E+20" as 1.
    const int decimals = std::max(0, precision - 1 - exponent);
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    std::string text(buffer);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0') text.pop_back();
        if (text.back() == '.') text.pop_back();
    }
    return text;
}

std::string shown_number_text(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
    return number_to_text(value);
}

}  // namespace quizhost
