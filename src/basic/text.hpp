// The text rules every module shares: split, trim, case-blind prefix tests, line breaking.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quizhost {

// Splits at every `separator`, keeping empty pieces; the empty text gives no pieces at all, so taking
// piece 0 of it is a subscript error.
std::vector<std::string> split(std::string_view text, char separator);
std::vector<std::string_view> split_views(std::string_view text, char separator);

// Piece `index` of a split, or error 9 "Subscript out of range" when there is no such piece.
template <typename Pieces>
const auto& piece_at(const Pieces& pieces, long index);

std::string join(const std::vector<std::string>& pieces, std::string_view separator);

// Leading and trailing spaces removed (spaces only, as the record files trim).
std::string_view trim_spaces(std::string_view text);

std::string to_upper_ascii(std::string_view text);

// Whether `text` begins with `prefix`, letter case ignored (ASCII letters).
bool starts_with_ignoring_case(std::string_view text, std::string_view prefix);

// Text files: every line is written with CR LF; a reader takes CR LF and LF alike.
inline constexpr std::string_view line_end = "\r\n";

// Appends `line` and its CR LF.
void add_line(std::string& bytes, std::string_view line);

// The line that starts at `position`, without its LF or CR LF; `position` moves past its end. The last
// line may have no end. Call only while position < bytes.size().
std::string_view next_line(std::string_view bytes, std::size_t& position);

// A line read without its LF, less the CR before it.
std::string_view without_cr(std::string_view line);

// CR and LF become spaces, so text from the movie cannot start a new line in a file or a request.
std::string single_line(std::string_view text);

// Text for an HTML or XHTML page: & < > " as entities, control bytes (but TAB and LF) as spaces, since
// XML allows none, and bytes above 127 as numeric entities, since they are not UTF-8 text.
std::string html_escape(std::string_view text);

}  // namespace quizhost

#include "definitions.hpp"

namespace quizhost {

template <typename Pieces>
const auto& piece_at(const Pieces& pieces, long index) {
    if (index < 0 || static_cast<unsigned long>(index) >= pieces.size()) throw run_time_error(subscript_out_of_range);
    return pieces[static_cast<std::size_t>(index)];
}

}  // namespace quizhost
