// Reading the game recall back: the records of both recall files, the damaged lines they hold (named by
// file and line), the gaps in the games' numbering, and the report of `quizhost recall` as text or as
// one self-contained HTML page. It only reads.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "basic/date_time.hpp"
#include "meters/meter_export.hpp"
#include "recall/recall_format.hpp"

namespace quizhost {

class file_system;

struct recalled_record {
    recall_record record;
    std::string file;  // bare file name, for the reader
    long line = 0;     // counted from 1
};

struct recall_damage {
    std::string file;
    long line = 0;
    std::string what;
};

struct recall_contents {
    std::vector<recalled_record> records;  // file order: the previous file's, then the current one's
    std::vector<recall_damage> damage;     // lines skipped
};

// Adds the records of one file's bytes. A line whose checksum does not match (cut short by a power cut,
// or changed) is skipped and named in `damage`, never read as a record.
void read_recall_bytes(std::string_view bytes, const std::string& file, recall_contents& into);

// The previous and the current recall file of a system folder ("…/system/"); a missing file adds nothing.
recall_contents read_recall_files(file_system& fs, const std::string& system_path);

// What the recall files show of money the host could not account for (closed by start-ups, and what is
// in flight until the next one); none when the cabinet has no recall. Damaged lines are skipped.
std::optional<recall_summary> recall_money_summary(file_system& fs, const std::string& system_path);

// The preflight's warnings about that money: what is in flight now (the next start closes it), and what
// the last start-up closed when no game has been settled since.
std::vector<std::string> recall_money_warnings(file_system& fs, const std::string& system_path);

// One game as shown: its record (nothing for money or a score outside any game) and the "between"
// records that followed its settlement.
struct recall_item {
    const recalled_record* game = nullptr;
    std::vector<const recalled_record*> after;
    std::vector<std::string> notes;  // gaps in the numbering found just before this game
};

struct recall_view {
    std::vector<recall_item> items;  // oldest first
    std::vector<std::string> notes;  // what the whole recall shows: gaps, the meter file's count
};

// Groups the records into games and finds the gaps in their numbering. `meter_games` is the meter
// file's "M1" count, when it could be read: games it counts beyond the recall's newest are named.
recall_view view_recall(const recall_contents& contents, std::optional<double> meter_games);

struct recall_options {
    std::string root;            // the cabinet folder
    std::string html_path;       // also write the page here, when not empty
    long last = 10;              // the newest games shown
    std::optional<double> game;  // only the game of this number
    // Stamped on every page: when it was made (the cabinet's local clock) and for which cabinet ("" and
    // none leave the stamp out).
    std::optional<date_time> made;
    std::string cabinet;
};

// `quizhost recall`: prints the newest games first. Exit status 0; 1 when there is no recall, a game
// asked for is not in it, or the page cannot be written; 3 when damaged lines were skipped (each named
// on `err` with its file and line).
int run_recall_report(file_system& fs, const recall_options& options, std::ostream& out, std::ostream& err);

}  // namespace quizhost
