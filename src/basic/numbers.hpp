// The number rules every module shares: the lenient leading number, the strict conversion, rounding
// halves to even, and number-to-text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quizhost {

// Leading blanks skipped, then an optional sign, digits and one decimal point; reading stops at the first
// other character. 0 when there is no number (" 12abc" gives 12, "0x10" gives 0, "1e308" gives 1).
double leading_number(std::string_view text);

// The whole text, blanks around it allowed, must be a plain decimal number; otherwise error 13
// "Type mismatch". "" and "abc" fail; " 3.9 " gives 3.9.
double strict_number(std::string_view text);

// Round to nearest, halves to the even neighbour (12.5 gives 12, 13.5 gives 14). Outside the target
// range (or not a number) is error 6 "Overflow".
std::int32_t round_to_int32(double value);
// The same rounding, with nothing instead of the overflow error for a value out of the 32-bit range.
std::optional<std::int32_t> round_to_int32_if_in_range(double value);
std::int16_t round_to_int16(double value);

// Integers as plain digits ("-" when negative); other values in the shortest form with at most 15
// significant digits (12.5, 0.1), always plain decimal so that the leading-number rule reads it back.
// Every number the host stores becomes text here. An infinite or undefined value (a 400-digit prize read
// with the leading-number rule) is error 6 "Overflow": written, it would read back as 0 and wipe out the
// total it stands for.
std::string number_to_text(double value);
std::string number_to_text(std::int64_t value);
// For a number that is only shown, never stored (a transcript, a diagnostic): number_to_text, with the
// values it refuses named "Infinity", "-Infinity" and "NaN".
std::string shown_number_text(double value);
inline std::string number_to_text(std::int32_t value) { return number_to_text(static_cast<std::int64_t>(value)); }
inline std::string number_to_text(std::int16_t value) { return number_to_text(static_cast<std::int64_t>(value)); }

}  // namespace quizhost
