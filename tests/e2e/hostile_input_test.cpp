// Hostile movie input: the game movie is third-party content, so every command must survive any argument
// bytes. Each command either answers as its rules say or ends through the fatal path with its one log
// line; it never crashes, hangs, tears a file or forges a line in any file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "basic/numbers.hpp"
#include "definitions.hpp"
#include "forms/form_main.hpp"
#include "forms/runtime.hpp"
#include "records/text_records.hpp"
#include "support/test_host.hpp"

namespace quizhost::testing {
namespace {

using lines = std::vector<std::string>;

// The arguments a hostile or broken movie may send.
std::map<std::string, std::string> hostile_arguments() {
    std::string high_bytes;
    for (int byte = 128; byte < 256; ++byte) high_bytes += static_cast<char>(byte);
    return {
        {"1 MB", std::string(1 << 20, '7')},
        {"1 MB of commas", std::string(1 << 20, ',')},
        {"NUL bytes", std::string("Ann\0,7\0,5\0", 11)},
        {"bytes 128-255", high_bytes + "," + high_bytes + ",300"},
        {"CR and LF", "Ann\r\nScore,1,,,x,EVIL,0,99999\r\nM1,0\n,1\r,500"},
        {"commas and bars", "A,n|n,|,5|0,a|b"},
        {"1e308", "1e308"},
        {"-0", "-0"},
        {"NaN", "NaN"},
        {"leading blank and junk", " 12abc"},
        {"hexadecimal", "0x10"},
        {"400 digits", std::string(400, '9')},
        {"empty", ""},
    };
}

// Every command of the movie's table but the one that ends the program, so a command added to the table
// meets the hostile arguments at once.
lines every_command_but_close_all() {
    lines names;
    for (const command_row& row : command_table()) {
        if (std::string(row.name) != "CLOSE_ALL") names.emplace_back(row.name);
    }
    return names;
}
const lines commands = every_command_but_close_all();

// A cabinet started as a player starts it, on a fresh folder.
struct started_cabinet {
    started_cabinet() {
        t.credit->credit = 500;
        t.credit->bank = 2000;
        start_program(t.host);
        raise_fscommand(t.host, "INTRO_END", "");
        t.events.clear();
    }
    test_host t;
};

lines split_crlf(const std::string& text) {
    lines out;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            out.push_back(text.substr(start) + "<no line end>");
            break;
        }
        out.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return out;
}

bool has_stray_line_break(const lines& file) {
    return std::any_of(file.begin(), file.end(), [](const std::string& line) {
        return line.find_first_of("\r\n") != std::string::npos || line.find("<no line end>") != std::string::npos;
    });
}

// The key of a meter line as the record rules see it: "M4,3" for a compound row, "M1" for a single one.
std::string meter_key(const std::string& line) {
    const std::string key = get_field(line, 0);
    static const std::set<std::string> compound = {"M2", "M3", "M4", "M5", "M7", "M11"};
    return compound.count(key) ? key + "," + get_field(line, 1) : key;
}

struct outcome {
    bool fatal = false;
    lines new_log;
};

// Runs one command and checks what every command owes whatever its argument.
outcome run_hostile(started_cabinet& cab, const std::string& command, const std::string& args,
                    const std::string& what) {
    test_host& t = cab.t;
    const lines log_before = split_crlf(t.read("system/logs/log.txt"));
    const lines meters_before = split_crlf(t.read("system/logs/meter.txt"));
    const std::string setup_before = t.read("system/setup.ini");
    outcome result;
    try {
        flash_game_FSCommand(t.host, command, args);
    } catch (const program_exit& exit) {
        EXPECT_EQ(exit.status, exit_fatal) << what;
        result.fatal = true;
    }
    const lines log_after = split_crlf(t.read("system/logs/log.txt"));
    EXPECT_FALSE(has_stray_line_break(log_after)) << what;
    EXPECT_GE(log_after.size(), log_before.size()) << what;
    result.new_log.assign(log_after.begin() + static_cast<long>(std::min(log_before.size(), log_after.size())),
                          log_after.end());
    // Every new log entry is a whole entry of its own: nothing the movie sent starts a line.
    // Only the stamp is matched: a 1 MB entry is too long for the recursive regex matcher.
    static const std::regex stamp(R"(\d\d/\d\d/\d\d\d\d \d\d:\d\d:\d\d  )");
    for (const auto& line : result.new_log) {
        EXPECT_TRUE(std::regex_match(line.substr(0, 21), stamp)) << what << ": " << line.substr(0, 80);
    }
    if (result.fatal) {
        // The command's own entry (such as the high-score update's) may come before the error's.
        EXPECT_GE(result.new_log.size(), 1u) << what;
        EXPECT_LE(result.new_log.size(), 2u) << what;
        if (!result.new_log.empty()) {
            EXPECT_NE(result.new_log.back().find("ERROR! "), std::string::npos) << what;
            EXPECT_NE(result.new_log.back().find("Game Terminated."), std::string::npos) << what;
        }
    } else {
        EXPECT_LE(result.new_log.size(), 1u) << what;
        EXPECT_EQ(t.events.lines.back(), "play\tmain") << what;  // the movie runs again
    }

    // The setup file is the operator's: no command changes it.
    EXPECT_EQ(t.read("system/setup.ini"), setup_before) << what;
    // The meter file keeps every line it had, in order, and gains only well-formed meter rows.
    const lines meters_after = split_crlf(t.read("system/logs/meter.txt"));
    EXPECT_FALSE(has_stray_line_break(meters_after)) << what;
    lines keys_before, keys_after;
    for (const auto& line : meters_before) keys_before.push_back(meter_key(line));
    for (const auto& line : meters_after) keys_after.push_back(meter_key(line));
    EXPECT_TRUE(std::equal(keys_before.begin(), keys_before.end(), keys_after.begin(),
                           keys_after.begin() + static_cast<long>(std::min(keys_before.size(), keys_after.size()))))
        << what;
    static const std::regex meter_row(R"(M\d+,-?\d+(\.\d+)?(,-?\d+(\.\d+)?(E[-+]\d+)?)?)");
    for (std::size_t i = meters_before.size(); i < meters_after.size(); ++i) {
        const std::string& row = meters_after[i];
        EXPECT_TRUE(row.size() < 400 && std::regex_match(row, meter_row)) << what << ": " << row.substr(0, 80);
    }
    EXPECT_LE(meters_after.size(), meters_before.size() + 4) << what;
    // The high-score table is always exactly its 40 rows.
    const lines scores = split_crlf(t.read("variable/highscores.txt"));
    EXPECT_FALSE(has_stray_line_break(scores)) << what;
    EXPECT_EQ(
        std::count_if(scores.begin(), scores.end(), [](const std::string& l) { return l.rfind("Score,", 0) == 0; }), 20)
        << what;
    EXPECT_EQ(
        std::count_if(scores.begin(), scores.end(), [](const std::string& l) { return l.rfind("PlayerID,", 0) == 0; }),
        20)
        << what;
    return result;
}

TEST(HostileInput, EveryCommandSurvivesEveryHostileArgument) {
    int runs = 0, fatal = 0;
    for (const auto& [name, args] : hostile_arguments()) {
        for (const auto& command : commands) {
            started_cabinet cab;
            const outcome result = run_hostile(cab, command, args, command + " with " + name);
            ++runs;
            fatal += result.fatal ? 1 : 0;
        }
    }
    std::printf("hostile input: %d command runs, %d ended through the fatal path\n", runs, fatal);
}

// Hostile command names: only the exact names match; anything else is paused over and ignored.
TEST(HostileInput, MangledCommandNamesAreIgnored) {
    for (const std::string& name :
         lines{std::string("GET_CREDIT\0", 11), std::string("get_credit"), std::string("GET_CREDIT "),
               std::string(1 << 20, 'G'), std::string("\xff\xfe"), std::string("UPDATE_METERS\r\n")}) {
        started_cabinet cab;
        const outcome result = run_hostile(cab, name, "1,2,3", "command name of " + std::to_string(name.size()));
        EXPECT_FALSE(result.fatal);
        EXPECT_EQ(cab.t.events.lines, (lines{"stop\tmain", "play\tmain"}));
    }
}

// The numbers the rules read leniently: the leading sign, digits and one point, 0 when there is none.
// A game's prize goes to M10 read this way.
TEST(HostileInput, UpdateMetersTakesTheLeadingNumberOfOddPrizeForms) {
    const std::vector<std::pair<std::string, double>> cases = {
        {"1e308", 1}, {"-0", 0}, {"NaN", 0}, {" 12abc", 12}, {"0x10", 0}, {"", 0},
    };
    for (const auto& [prize, added] : cases) {
        started_cabinet cab;
        file_system& fs = *cab.t.host.io.files;
        const std::string meters = cab.t.path("system/logs/meter.txt");
        const double before = leading_number(read_record_field(fs, meters, "M10", 1));
        const outcome result = run_hostile(cab, "UPDATE_METERS", "3," + prize + ",0,0", "UPDATE_METERS prize " + prize);
        ASSERT_FALSE(result.fatal) << prize;
        EXPECT_EQ(leading_number(read_record_field(fs, meters, "M10", 1)) - before, added) << prize;
    }
}

TEST(HostileInput, AScoreBeyondTheNumberRangeEndsThroughTheFatalPath) {
    started_cabinet scores;
    const outcome result =
        run_hostile(scores, "ADD_TO_HISCORES", "Ann,1," + std::string(400, '9'), "ADD_TO_HISCORES 400 digits");
    EXPECT_TRUE(result.fatal);
    ASSERT_FALSE(result.new_log.empty());
    EXPECT_NE(result.new_log.back().find("ERROR! 6 - Overflow."), std::string::npos) << result.new_log.back();
}

TEST(HostileInput, NamesWithSeparatorsAndLineBreaksStayInTheirRow) {
    started_cabinet cab;
    const outcome result = run_hostile(cab, "ADD_TO_HISCORES", "Ann\r\nScore,1,,,x,EVIL,0,99999,0,500", "forged row");
    ASSERT_FALSE(result.fatal);
    const std::string table = cab.t.read("variable/highscores.txt");
    EXPECT_EQ(table.find("\r\nScore,1,,,x,EVIL"), std::string::npos);
    EXPECT_NE(table.find("Ann  Score"), std::string::npos);  // the line break became a blank, in the name field
}

TEST(HostileInput, AnsweredIsStrictAboutItsNumbers) {
    for (const std::string& args : lines{"NaN,1", "0x10,1", " 12abc,1", "1e308x,1", "1,"}) {
        started_cabinet cab;
        const outcome result = run_hostile(cab, "ANSWERED", args, "ANSWERED " + args);
        EXPECT_TRUE(result.fatal) << args;
    }
}

}  // namespace
}  // namespace quizhost::testing
