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

// The intro movie's one command: not a row of the command table (the intro form takes it), but part of every
// movie's protocol.
constexpr command_reference intro_end_reference{
    "INTRO_END",
    ignored,
    "",
    "",
    "",
    "the intro movie is released and the game movie loads: the host reads its content_version_no, checks the "
    "cabinet's files and shows the game",
    "The intro form closes; the main form loads (its start-up: system/logs/log.txt gets \"LAUNCHING GAME (V7.N)\", "
    "missing folders, the setup file, the meter file and the high-score table are made).",
    "A failure of the main form's start-up is fatal (a missing question file, an unreadable setup file: ERROR! "
    "53, 70 or 75). Only the first INTRO_END counts: the intro is gone after it."};

// How an argument is written in the movie's TypeScript types: a template literal where the host reads
// fields, so an editor shows the shape and flags a missing field. "" for a command that takes none.
std::string typescript_argument(const command_reference& ref) {
    if (ref.argument == ignored) return "\"\"";
    static constexpr std::pair<std::string_view, std::string_view> shapes[] = {
        {"ANSWERED", "`${number},${number}`"},
        {"ADD_TO_BANK", "`${number}`"},
        {"GET_SCORE_RECORD", "`${number}`"},
        {"GET_HISCORE_POSITION", "`${number}`"},
        {"GET_QUESTION", "`${number},${string}`"},
        {"UPDATE_METERS", "`${number},${number},${number},${number}`"},
        {"ADD_TO_HISCORES", "`${string},${string},${number},${string},${string},${string}`"},
    };
    for (const auto& [name, shape] : shapes) {
        if (name == ref.name) return std::string(shape);
    }
    return "string";
}

// Text inside a /** */ comment.
std::string doc_text(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '*' && i + 1 < text.size() && text[i + 1] == '/') {
            out += "*\\/";
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

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
        "## One game, command by command\n\n" +
        game_sequence_text(true) +
        "## Every command\n\n"
        "| Command | Answer variable |\n|---|---|\n"
        "| [INTRO_END](#intro_end) (the intro movie) | none |\n";
    for (const command_row& row : command_table()) {
        out += std::string("| [") + row.name + "](#" + lower(row.name) + ") | " +
               (row.answer != nullptr ? std::string("`") + row.answer + "`" : std::string("none")) + " |\n";
    }
    {
        const command_reference& ref = intro_end_reference;
        out += std::string("\n## ") + ref.name + "\n\n";
        out +=
            "The intro movie's one command, which the intro form takes: the intro is over. The intro movie "
            "plays from the program's start (the host loads it, rewinds it and plays it) and raises INTRO_END "
            "once, when it has shown what it shows; any other command it raises does nothing. Until then the "
            "game movie is not loaded and no game command is taken.\n\n";
        out += "| | |\n|---|---|\n";
        out += "| Argument | " + cell(ref.argument) + " |\n";
        out += "| Answer | None: no variable is set. |\n";
        out += std::string("| Example | `INTRO_END`: ") + cell(ref.example_answer) + " |\n";
        out += "| Changes | " + cell(ref.changes) + " |\n";
        out += "| Fails | " + cell(ref.failure) + " |\n";
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
    std::string out = "One game, command by command\n" + game_sequence_text(false) + "\n";
    {
        const command_reference& ref = intro_end_reference;
        out += std::string(ref.name) + " (the intro movie)\n";
        out += std::string("  argument: ") + ref.argument + "\n";
        out += "  answer:   None: no variable is set.\n";
        out += std::string("  example:  \"INTRO_END\": ") + ref.example_answer + "\n";
        out += std::string("  changes:  ") + ref.changes + "\n";
        out += std::string("  fails:    ") + ref.failure + "\n\n";
    }
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

namespace {

// The order of one game's commands, and what their arguments mean; the same text in both forms.
constexpr const char* game_sequence_lines[] = {
    "The host keeps no game state of its own between commands: the movie plays the game and tells the host "
    "each step, in this order. The recall (`quizhost recall`) follows the same order to tell one game from the "
    "next.",
    "1. Attract, as often as the movie likes: GET_CREDIT and GET_BANK (poll them, the credit changes when a "
    "coin drops), GET_CREDIT_TO_PLAY, GET_WRAPPER_VERSION, GET_INSTRUCTIONS, READ_HISCORES, GET_TOP_LOCAL_SCORE.",
    "2. Pay: USE_CREDIT takes one game's price (FREE_GAME for a free one), then GET_CREDIT again: a credit "
    "system may refuse without telling the host, so start the game only when the credit fell by the price. "
    "The payment opens the game in the recall.",
    "3. Start: START_GAME (it counts the game's payout share in the reflex meter and starts its clock), then "
    "GET_GAME_MODE, GET_WINPLAN (the prize ladder), GET_LIVES.",
    "4. Each question: GET_QUESTION \"N,S\" (N counts 1, 2, 3 ... within the game; S \"T\" or \"F\" picks the "
    "question set), then ANSWERED \"D,C\" with the difficulty D that came after \"|\" in the answer and C 1 for "
    "right, 0 for wrong.",
    "5. Settle: UPDATE_METERS \"Q,P,F2,F3\". Q is the last question the game reached (its N), P the prize won "
    "in credits or -1 for none, F2 and F3 the movie's own two flags, counted in M9 and M14 (the demo sets F2 1 "
    "when the game reached the top of its ladder and F3 1 when the player collected before it). This is the "
    "moment the game counts: the meter file counts it and its prize (M1, M10), and the recall keeps its "
    "record, synced.",
    "6. Pay the prize: ADD_TO_BANK P, after UPDATE_METERS, never before. Paid first, a failure or power cut "
    "between the two would leave money in the bank for a game the meters never counted, and the recall would "
    "show an unfinished game with a prize; paid after, the meters have counted the prize before the money "
    "moves, and the recall keeps the payment as a record naming the game just settled.",
    "7. A high score: GET_HISCORE_POSITION SCORE (\"-1\": it does not enter), then ADD_TO_HISCORES "
    "\"NAME,CODE,SCORE,D1,D2,D3\". NAME is the player's name (\"AAA\" when empty), CODE a text of the movie's "
    "own kept beside it (the demo sends 0; old movies a player number), SCORE the points, D1 to D3 three "
    "details of the movie's choosing (the demo: right answers, prize, game mode).",
    "8. Back to the attract. A game left before UPDATE_METERS (RESET_FLASH_GAME, CLOSE_ALL, a second "
    "USE_CREDIT) is an unfinished game: the meters never count it.",
    "Credit and bank: the credit is what the player has put in, to play with (USE_CREDIT takes the price "
    "from it); the bank is what the player has won (ADD_TO_BANK adds to it). The host pays no money itself: "
    "the cabinet's credit system pays the bank out (its hopper or ticket printer, or on the shell platform "
    "plays it on: USE_CREDIT takes from the bank there when the credit does not cover the price).",
};

}  // namespace

const command_reference& intro_command_reference() { return intro_end_reference; }

std::string game_sequence_text(bool markdown) {
    std::string out;
    for (const char* line : game_sequence_lines) {
        std::string text = line;
        if (!markdown) {
            for (std::size_t at = text.find('`'); at != std::string::npos; at = text.find('`')) text.erase(at, 1);
        }
        out += text + (markdown ? "\n\n" : "\n");
    }
    return out;
}

std::string command_reference_typescript() {
    std::string out =
        "// The movie runtime's types (web/runtime/movie.js): every command with the argument it takes and the "
        "variable it\n"
        "// answers, so an editor completes them and flags a misspelled command. Generated by `quizhost commands "
        "--typescript`\n"
        "// from the command table; a test compares this file with it. docs/commands.md says what each one does.\n"
        "\n"
        "/** The argument each command takes (\"\" for none). */\n"
        "export interface CommandArguments {\n";
    const auto argument_line = [&](const command_reference& ref, const char* answer) {
        std::string doc = &ref == &intro_end_reference
                              ? std::string("The intro movie's one command: ") + ref.example_answer + "."
                              : std::string(ref.argument == ignored ? "No argument." : ref.argument);
        if (answer != nullptr) doc += " Answers " + std::string(answer) + ": " + ref.answer;
        out += "  /** " + doc_text(doc) + " */\n";
        out += std::string("  ") + ref.name + ": " + typescript_argument(ref) + ";\n";
    };
    argument_line(intro_end_reference, nullptr);
    for (const command_row& row : command_table()) {
        if (const command_reference* ref = find_command_reference(row.name)) argument_line(*ref, row.answer);
    }
    out +=
        "}\n\n/** The variable each command sets in the movie (never: it sets none). */\nexport interface "
        "CommandAnswers {\n";
    out += "  INTRO_END: never;\n";
    for (const command_row& row : command_table()) {
        out += std::string("  ") + row.name + ": " +
               (row.answer != nullptr ? std::string("\"") + row.answer + "\"" : std::string("never")) + ";\n";
    }
    out +=
        "}\n\n"
        "export type CommandName = keyof CommandArguments;\n"
        "/** A variable the host sets: its answer to a command. */\n"
        "export type AnswerVariable = CommandAnswers[CommandName];\n"
        "/** A variable the host reads from the game movie with GetVariable, when it loads the game. */\n"
        "export type HostReadVariable = \"content_version_no\";\n"
        "\n"
        "/** The runtime's one global (web/README.md, \"The runtime\"). */\n"
        "export interface Movie {\n"
        "  readonly isQuizhostRuntime: true;\n"
        "  /** Frames per second; 0 runs a frame on every display frame. */\n"
        "  frameRate: number;\n"
        "  /** Raises a command; resolves when the host has handled it (its answer variable is set by then). */\n"
        "  fscommand<C extends CommandName>(command: C, args?: CommandArguments[C]): Promise<void>;\n"
        "  /** A variable's text; \"\" when it was never set. */\n"
        "  get(name: AnswerVariable | HostReadVariable | (string & {})): string;\n"
        "  /** Sets a variable as text: content_version_no at the top level of a script, before the page has "
        "loaded. */\n"
        "  set(name: HostReadVariable | (string & {}), value: string | number): void;\n"
        "  has(name: AnswerVariable | HostReadVariable | (string & {})): boolean;\n"
        "  /** fn(frame) once per frame while the host lets the movie play; frames count from 1. */\n"
        "  onFrame(handler: (frame: number) => void): Movie;\n"
        "  /** The host rewound the movie: the frame count starts again at 1. */\n"
        "  onRewind(handler: () => void): Movie;\n"
        "  readonly frame: number;\n"
        "  readonly playing: boolean;\n"
        "  /** A command is with the host. */\n"
        "  readonly busy: boolean;\n"
        "  /** On the cabinet's stage (false when the page is opened on its own). */\n"
        "  readonly embedded: boolean;\n"
        "}\n"
        "\n"
        "declare global {\n"
        "  // For a movie's JSDoc: `@param {MovieCommandName} command`.\n"
        "  type MovieCommandName = CommandName;\n"
        "  type MovieCommandArguments = CommandArguments;\n"
        "  type MovieCommandAnswers = CommandAnswers;\n"
        "  type MovieAnswerVariable = AnswerVariable;\n"
        "  var movie: Movie;\n"
        "  /** The old global name of movie.fscommand. */\n"
        "  var fscommand: Movie[\"fscommand\"];\n"
        "}\n";
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
