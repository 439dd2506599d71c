#include "basic/numbers.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
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
        throw run_time_error(type_mismatch, error_description(type_mismatch), "not a number: \"" + std::string(body.substr(0, 40)) + "\"");
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
std::int16_t round_to_int16(double value) { return round_half_even<std::int16_t>(value); }

std::string number_to_text(std::int64_t value) { return std::to_string(value); }

std::string number_to_text(double value) {
    if (value == 0.0) return "0";  // also -0
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
    if (value == std::trunc(value) && std::fabs(value) < 1e15) {
        return std::to_string(static_cast<std::int64_t>(value));
    }
    // Shortest general form of at most 15 significant digits.
    char buffer[40];
    for (int precision = 1; precision <= 15; ++precision) {
        std::snprintf(buffer, sizeof buffer, "%.*G", precision, value);
        if (std::strtod(buffer, nullptr) == value) break;
    }
    std::string text(buffer);
    // "%G" writes exponents as E+20 / E-05; keep the sign, drop leading zeros of the exponent.
    const auto e = text.find('E');
    if (e != std::string::npos) {
        std::size_t digits = e + 2;
        while (digits + 1 < text.size() && text[digits] == '0') text.erase(digits, 1);
    }
    return text;
}

}  // namespace quizhost
