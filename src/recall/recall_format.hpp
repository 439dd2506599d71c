// The game recall file's records: one line each, a checksum and then TAB-separated fields, so that a
// record the power cut short is recognised and skipped rather than read as a game.
//
//   1f3a9c02<TAB>game<TAB>seq=42<TAB>no=17<TAB>start=2026-12-07 14:05:09<TAB>...<CR LF>
//
// The first field is the CRC-32 of everything after its TAB, as eight lower-case hex digits. The second
// is the record's kind; the rest are key=value fields in the order they happened (a key such as "q" comes
// once per question). Values never hold TAB, CR or LF.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quizhost {

// The files beside the error log: the current one, and the one it replaced when it filled up.
inline constexpr const char* recall_file_name = "recall.txt";
inline constexpr const char* previous_recall_file_name = "recall_previous.txt";

// Record kinds.
inline constexpr std::string_view settled_game_kind = "game";      // a game the meters counted ("no" is its M1)
inline constexpr std::string_view unfinished_kind = "unfinished";  // a game that ended before its meters
inline constexpr std::string_view between_kind = "between";        // money or a score outside any game

struct recall_record {
    std::string kind;
    std::vector<std::pair<std::string, std::string>> fields;

    // The first value of `key`; nothing when the record has none.
    std::optional<std::string> value(std::string_view key) const;
    void add(std::string key, std::string value) { fields.emplace_back(std::move(key), std::move(value)); }
};

std::uint32_t recall_checksum(std::string_view bytes);

// A value as it may stand in a field: TAB, CR and LF become spaces.
std::string recall_value(std::string_view text);

// The record's line, without its line end.
std::string format_recall_record(const recall_record& record);

// A line read back (without its line end). Nothing, with `why` set, for a line whose checksum does not
// match its text or that is not a record at all.
std::optional<recall_record> parse_recall_record(std::string_view line, std::string& why);

}  // namespace quizhost
