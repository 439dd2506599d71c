#include "forms/command_reference.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

#include "forms/form_main.hpp"

namespace quizhost {
namespace {

// Shared wordings.
constexpr const char* ignored = "Ignored (send none).";
constexpr const char* changes_nothing = "Nothing.";
constexpr const char* cannot_fail = "Cannot fail.";
constexpr const char* unset_value = "Always \"\": the host keeps no such value (kept for old movies that ask for it).";
constexpr const char* meter_write_failure =
    "A meter file that cannot be rewritten (missing, read-only folder) is fatal: the game ends with \"ERROR! 53 - "
    "File not found.  Game Terminated.\" (or 70, 75) in the log and the path on standard error.";
constexpr const char* credit_failure =
    "Fatal when the credit channel fails: library platforms, a missing credit library (ERROR! 53) or entry point "
    "(453); the shell platform, a shell gone away; the socket platform, a credit service that does not answer "
    "within its bounds (ERROR! 9). Standard error names the library file or the service's address.";
constexpr const char* hiscore_read_failure =
    "A high-score file that exists but cannot be read is fatal (ERROR! 70 or 75); a missing one answers as "
    "stated.";

constexpr std::array<command_reference, 37> references{{
    {"GET_INSTRUCTIONS", ignored,
     "The lines of data/instructions.txt, each followed by a CR (no LF); \"Instructions File not Found\" when "
     "the file is missing.",
     "", "", "Answer four questions.\r",
     "Nothing; the file is read afresh at every command, so a changed file shows at once.",
     "An instructions file that exists but cannot be read is fatal (ERROR! 70 or 75)."},
    {"GET_GAME_MODE", ignored,
     "The game mode, \"0\" to \"5\", set by the reflex meter (meter M17) at START_GAME and ADD_TO_BANK; \"0\" "
     "until the first of them since the host started.",
     "", "", "0", changes_nothing, cannot_fail},
    {"SHAKE", ignored, "", "", "", "nothing happens; the movie is stopped and played again", changes_nothing,
     cannot_fail},
    {"ANSWERED",
     "\"D,C\": D the difficulty of the question answered (1-4, the digit after \"|\" in vb_question), C 1 for a "
     "right answer, anything else for a wrong one. Both must be numbers (blanks around allowed); a difficulty "
     "outside 1-4 counts in M15 only.",
     "", "", "2,1", "M15 rises by 1, M16,2 by 1, M13,2 by 1 with its percentage",
     "system/logs/meter.txt: M15 (questions answered), row D of M16 (answered at D) and, for a right answer, row "
     "D of M13 (right at D, and the percentage right).",
     "A field that is empty or not a number is fatal (ERROR! 13 - Type mismatch), before anything is written; "
     "so is a meter file that cannot be rewritten."},
    {"GET_LIVES", ignored,
     "The lives for the next game, \"1\" to the number of columns of the current game mode's row in "
     "data/weighted_lives.txt (built-in: 1 to 3), drawn at random with the row's weights.",
     "draw\t0", "", "1", changes_nothing,
     "Fatal when the lives table has no row for the game mode or a weight that is not a number (ERROR! 9 or 13); "
     "`quizhost content check` finds both."},
    {"GET_AUTOPLAY_INFO", ignored,
     "\"\" normally. With autoplay.txt in the cabinet folder: its no_of_games, price_per_play, payout_%, "
     "collect_first_prize and manual_play values, comma-separated (\"10,50,40,1,0\").",
     "", "", "", changes_nothing, cannot_fail},
    {"GET_WINPLAN", ignored,
     "A prize ladder: the value list of a plan of data/weighted_winplans.txt drawn with the current game mode's "
     "weights, comma-separated credits; -1 first stands for no prize.",
     "draw\t0", "", "-1,100,200,300,400,500,1000,2000", changes_nothing,
     "Fatal when the walk reaches a plan without \"*\", with too few weights or a weight that is not a number "
     "(ERROR! 9 or 13); `quizhost content check` finds them."},
    {"GET_REFLEX_MODE", ignored, unset_value, "", "", "", changes_nothing, cannot_fail},
    {"RESET_CASHPOT", ignored, "", "", "", "M6 becomes 1000 when the meter file has an M6 line",
     "system/logs/meter.txt: M6 (the cash pot) becomes 1000; a meter file without an M6 line is left unchanged.",
     meter_write_failure},
    {"GET_BANK", ignored,
     "The bank in credits as the credit channel reports it, whole; \"0\" for a value outside 0-10000 and "
     "always \"0\" in demo mode.",
     "", "", "20", "Nothing (the credit system is only read).", credit_failure},
    {"ADD_TO_BANK",
     "The amount in credits (\"250\"); its leading number counts (\"12.5\" is 12.5, \"abc\" is 0). The library "
     "gets it rounded (halves to even), the shell as it is, the credit service the text unchanged.",
     "", "", "250", "the bank rises by 250; M17 rises by 250",
     "The cabinet's bank (through the credit channel) and system/logs/meter.txt: M17 (the reflex meter), and "
     "with it the game mode.",
     "Fatal when the credit channel or the meter file fails (see GET_CREDIT and RESET_CASHPOT)."},
    {"RESET_FLASH_GAME", ignored, "", "", "", "the game movie loads afresh from its first frame and plays",
     changes_nothing, "Cannot fail in the browser player (a missing movie shows an empty page)."},
    {"GET_SCORE_RECORD", "A rank, \"1\" to \"20\" (blanks around ignored); another text finds no row.",
     "The whole score row of that rank in variable/highscores.txt, \"Score,RANK,,,HH:MM dd/mm/yyyy,NAME,CODE,"
     "SCORE\"; \"\" when there is none.",
     "", "1", "Score,1,,,14:05 07/12/2026,AAA,1234,0", changes_nothing, hiscore_read_failure},
    {"GET_MANAGER_PIN", ignored, unset_value, "", "", "", changes_nothing, cannot_fail},
    {"GET_WRAPPER_VERSION", ignored,
     "\"7.\" and the game movie's content_version_no as read at start (\"7.12\"); \"7.\" when the movie set "
     "none.",
     "var\tcontent_version_no\t12", "", "7.12", changes_nothing, cannot_fail},
    {"GET_CREDIT", ignored,
     "The credit in credits as the credit channel reports it, whole; \"0\" for a value outside 0-10000; in "
     "demo mode always the price per play.",
     "", "", "500", "Nothing (the credit system is only read).", credit_failure},
    {"START_GAME", ignored, "", "", "", "M17 falls by the payout share of one game (50 x 40% = 20)",
     "system/logs/meter.txt: M17 (the reflex meter) falls by price per play x payout percent / 100, which may "
     "change the game mode; the game's start time is kept for UPDATE_METERS. No credit is taken (that is "
     "USE_CREDIT).",
     meter_write_failure},
    {"FREE_GAME", ignored, "", "", "", "nothing outside the shell platform",
     "On the shell platform the shell is told a free game began; nothing elsewhere.",
     "Fatal when the shell fails (shell platform only)."},
    {"USE_CREDIT", ignored, "", "", "", "the credit falls by the price per play (500 to 450)",
     "The cabinet's credit (through the credit channel): one game's price is taken. Library: cuse(price) without "
     "a check. Shell: from the credit when it covers the price, else from the bank. Socket: only when the credit "
     "covers the price. Nothing is answered: ask GET_CREDIT afterwards.",
     credit_failure},
    {"GET_CREDIT_TO_PLAY", ignored,
     "The price per play in credits, from S2 of system/setup.ini (1-100, else 50), or from autoplay.txt.", "", "", "50",
     changes_nothing, cannot_fail},
    {"GET_CASHPOT", ignored, "The cash pot, meter M6, whole; \"0\" when the meter file has no M6 line.", "", "", "0",
     changes_nothing, "A meter file that exists but cannot be read is fatal (ERROR! 70 or 75)."},
    {"GET_TOP_LOCAL_SCORE", ignored,
     "The score of rank 1 in variable/highscores.txt (its last field); \"\" when there is no such row.", "", "", "0",
     changes_nothing, hiscore_read_failure},
    {"MSGBOX", "The text to show; any text (a CR or LF breaks the line). The host waits until the box is dismissed.",
     "", "", "Insert coin", "a box titled \"Tollcastle Wrapper\" with OK; the movie resumes once it is clicked",
     changes_nothing, "Cannot fail."},
    {"GET_HISCORE_POSITION", "A score; its leading number counts (\"120.5\" is 120.5, \"abc\" is 0).",
     "The rank, \"1\" to \"20\", that the score would take in variable/highscores.txt; \"-1\" when it would not "
     "enter. A score equal to the top score takes rank 1.",
     "", "120", "1", changes_nothing, hiscore_read_failure},
    {"GET_TOTAL_GAMES", ignored, "The games played, meter M1.", "", "", "0", changes_nothing,
     "A meter file that exists but cannot be read is fatal (ERROR! 70 or 75)."},
    {"CLOSE_ALL", ignored, "", "", "",
     "the program ends with status 0: the credit service is told GAME_EXIT (socket platform), the display mode "
     "is restored",
     changes_nothing, "Cannot fail (a credit service that does not take GAME_EXIT ends the program all the same)."},
    {"GET_QUESTION",
     "\"N,S\": N the question's number in the game, 1 up to the rows of data/weighted_questions.txt (built-in: "
     "12); S \"T\" for question set 1, anything else (\"F\", \"\") for set 2. N of 0 or past the table is fatal.",
     "The deciphered question line, \"|\" and its difficulty 1-4. The line's layout is the movie's own (the demo: "
     "QUESTION~A~B~C~D~RIGHT). A line that deciphers to nothing answers \"|D\" and is logged.",
     "draw\t0\ndraw\t0", "1,T", "What is 2+2?~3~4~5~6~2|1",
     "Nothing (system/logs/log.txt gets \"*ERROR* Decrypting question. ...\" for a line that deciphers to "
     "nothing).",
     "Fatal for a missing or empty question file data/data_D_S.dat (ERROR! 53 or 62, the path on standard "
     "error), a question number without a row, a row that is not four numbers; `quizhost check` and `quizhost "
     "content check` find all of them."},
    {"UPDATE_METERS",
     "\"Q,P,F2,F3\": Q the question the game reached (1-12 with the built-in tables), P the prize paid in "
     "credits or -1 for none, F2 and F3 1 to count the game in M9 and M14. Leading numbers; a missing field is "
     "0; a Q or prize band without a row counts nowhere.",
     "", "", "3,-1,0,0", "M1, M2 of the game mode, M4,3 and M8 rise by 1; M12 by the game's seconds",
     "system/logs/meter.txt: M1 (games), ModifiedDate, M2 and M11 rows of the game mode, M4 row Q, M7 band "
     "P/100 or M8 (no prize), M9, M10 (prizes), M12 (game seconds since START_GAME), M14; all in one replace.",
     meter_write_failure},
    {"GET_LAST_HISCORE_UPDATE", ignored,
     "Field 2 of a \"Tournament\" line of variable/highscores.txt; \"\" when there is none (the host never "
     "writes one).",
     "", "", "", changes_nothing, hiscore_read_failure},
    {"TO_LOG",
     "The text to log; a CR or LF in it becomes a blank, so it stays one line. At most 1000 characters are "
     "kept: a longer text keeps its first 1000, followed by \" [cut: N more characters]\". A text that opens "
     "as the host's own entries do (\"ERROR!\", \"KIOSK BROWSER DIED\", \"LAUNCHING GAME\", in any case) is "
     "written after \"(movie) \", so that no movie can forge a fatal error or a launch.",
     "", "", "GAME 12 STARTED", "system/logs/log.txt gets the line \"07/12/2026 14:05:09  GAME 12 STARTED\"",
     "system/logs/log.txt: one line (nothing when the log is missing).",
     "A log that exists but cannot be appended to is fatal (ERROR! 70 or 75)."},
    {"READ_HISCORES", ignored,
     "The 20 score rows of variable/highscores.txt in rank order, each \"Score,RANK,,,HH:MM dd/mm/yyyy,NAME,"
     "CODE,SCORE\", joined by \"|\"; \"\" when the file is missing.",
     "", "", "Score,1,,,14:05 07/12/2026,AAA,1234,0|Score,2,,,14:05 07/12/2026,AAA,1234,0|...", changes_nothing,
     hiscore_read_failure},
    {"ADD_TO_HISCORES",
     "\"NAME,CODE,SCORE,D1,D2,D3\": the player's name (\"AAA\" when empty), a code, the score (its leading "
     "number) and three details kept in the PlayerID rows. Fields are trimmed; missing ones are empty. The name "
     "and the code keep at most 32 characters, each detail 64; a longer one keeps its first part, followed by "
     "\" [cut: N more characters]\".",
     "The rank, \"1\" to \"20\", the score took; \"-1\" when it did not enter the table.", "", "ANN,77,120,,,", "1",
     "variable/highscores.txt is rewritten through variable/newfile.txt (one atomic replace); system/logs/log.txt "
     "gets \"Updating highscores.txt\".",
     "A high-score file or folder that cannot be read or rewritten is fatal (ERROR! 53, 70 or 75, the path on "
     "standard error); so is a table whose score rows cannot be read (a score that is not a number, lines "
     "ended by CR alone, garbage), which is left as it is rather than rebuilt with empty rows (ERROR! 75)."},
    {"GET_GAME_NAME", ignored, unset_value, "", "", "", changes_nothing, cannot_fail},
    {"GET_HOUSE_NAME", ignored, unset_value, "", "", "", changes_nothing, cannot_fail},
    {"GET_TOWN_NAME", ignored, unset_value, "", "", "", changes_nothing, cannot_fail},
    {"GET_SHOW_LOCAL_SCORES", ignored, "Always \"1\".", "", "", "1", changes_nothing, cannot_fail},
    {"GET_GAME_ACTIVE", ignored, unset_value, "", "", "", changes_nothing, cannot_fail},
}};

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::size_t edit_distance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The example as the reference shows it: the command, its argument, and what came of it.
std::string shown_example(const command_row& row, const command_reference& ref, bool markdown) {
    const std::string q = markdown ? "`" : "\"";
    std::string text = q + row.name + (ref.example_args[0] != '\0' ? std::string(" ") + ref.example_args : "") + q;
    if (row.answer != nullptr) {
        std::string answer = ref.example_answer;
        std::string shown;
        for (char c : answer) shown += c == '\r' ? std::string("\\r") : std::string(1, c);
        if (shown.empty()) return text + " sets " + row.answer + " to the empty text";
        return text + " sets " + row.answer + " to " + q + shown + q;
    }
    return text + ": " + ref.example_answer;
}

std::string answer_text(const command_row& row, const command_reference& ref, bool markdown) {
    if (row.answer == nullptr) return "None: no variable is set.";
    const std::string q = markdown ? "`" : "";
    return q + row.answer + q + ": " + ref.answer;
}

// Pipes inside a Markdown table cell would end the cell.
std::string cell(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '|' ? std::string("\\|") : std::string(1, c);
    return out;
}

}  // namespace

std::span<const command_reference> command_references() { return references; }

const command_reference* find_command_reference(std::string_view name) {
    for (const command_reference& ref : references) {
        if (name == ref.name) return &ref;
    }
    return nullptr;
}

std::string command_reference_markdown() {
    std::string out =
        "# Movie commands\n\n"
        "<!-- Generated by `quizhost commands --markdown` from the command table; a test compares this file with "
        "it. -->\n\n"
        "A movie raises a command with `movie.fscommand(COMMAND, ARGS)` (web/README.md); the host stops the movie, "
        "handles the command, sets at most one variable, and plays the movie again, so the answer is there on the "
        "movie's next frame. Names are matched exactly, letter case and blanks included; a name that matches no "
        "command does nothing (`quizhost --trace` prints an `unknown` line for it). A fatal failure ends the game: "
        "the movie is unloaded, system/logs/log.txt gets \"ERROR! N - DESCRIPTION.  Game Terminated.\", standard "
        "error and the stage's end screen name the command and the file or address that failed, and quizhost "
        "exits with status 1.\n\n"
        "The examples are real exchanges with a fresh cabinet: default tables, 500 credits and a bank of 20 on the "
        "library platform, setup.ini S1,40 S2,50, the clock at 14:05 on 07/12/2026, and a draw of 0 where the "
        "command draws.\n\n"
        "| Command | Answer variable |\n|---|---|\n";
    for (const command_row& row : command_table()) {
        out += std::string("| [") + row.name + "](#" + lower(row.name) + ") | " +
               (row.answer != nullptr ? std::string("`") + row.answer + "`" : std::string("none")) + " |\n";
    }
    for (const command_row& row : command_table()) {
        out += std::string("\n## ") + row.name + "\n\n";
        const command_reference* ref = find_command_reference(row.name);
        if (ref == nullptr) {
            out += "No reference yet.\n";
            continue;
        }
        out += "| | |\n|---|---|\n";
        out += "| Argument | " + cell(ref->argument) + " |\n";
        out += "| Answer | " + cell(answer_text(row, *ref, true)) + " |\n";
        out += "| Example | " + cell(shown_example(row, *ref, true)) + " |\n";
        out += "| Changes | " + cell(ref->changes) + " |\n";
        out += "| Fails | " + cell(ref->failure) + " |\n";
    }
    return out;
}

std::string command_reference_text() {
    std::string out;
    for (const command_row& row : command_table()) {
        out += row.name;
        out += "\n";
        const command_reference* ref = find_command_reference(row.name);
        if (ref == nullptr) {
            out += "  no reference yet\n\n";
            continue;
        }
        out += std::string("  argument: ") + ref->argument + "\n";
        out += "  answer:   " + answer_text(row, *ref, false) + "\n";
        out += "  example:  " + shown_example(row, *ref, false) + "\n";
        out += std::string("  changes:  ") + ref->changes + "\n";
        out += std::string("  fails:    ") + ref->failure + "\n\n";
    }
    return out;
}

std::string nearest_command(std::string_view name) {
    const std::string wanted = upper(name);
    std::string best;
    std::size_t best_distance = 3;  // more than two letters off is another word
    for (const command_row& row : command_table()) {
        const std::size_t distance = edit_distance(wanted, row.name);
        if (distance < best_distance) {
            best_distance = distance;
            best = row.name;
        }
    }
    return best;
}

}  // namespace quizhost
