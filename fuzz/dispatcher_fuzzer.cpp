// The game command dispatcher on any command names and argument bytes, against a cabinet in memory: the
// cabinet starts up once, then every command of the input is raised in turn, as the movie would raise it.
//
// The input is a movie script ("fs" COMMAND ARGS lines with the transcript's escapes, plus the scene
// directives var, draw, clock, msgbox, screen, display); text that is no valid script is taken as raw
// lines "COMMAND TAB ARGS" instead, so argument bytes reach the host unescaped too. A first line
// "#cabinet" followed by words picks the cabinet: "shell" (the shell platform), "socket" (the local
// credit service, which is away), "demo" (demo mode); the default is the credit library.
//
// Expected: answers, and the fatal path (a run-time error logged, the program ended with status 1), and
// "CLOSE_ALL" (status 0); on the socket platform, whose service is away here, the goodbye of the
// shutdown fails and ends the program unhandled. Findings: a crash or sanitizer report, a hang, any other exception leaving the
// host, more than one answer variable set for one command, a movie left stopped, a log entry that is not
// one whole stamped line, and a meter file, high-score table or setup file left in a form it does not
// have.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "basic/text.hpp"
#include "definitions.hpp"
#include "host/runtime.hpp"
#include "player/movie_script.hpp"
#include "records/text_records.hpp"
#include "support/finding.hpp"
#include "support/memory_cabinet.hpp"

using namespace quizhost;
using fuzzing::expect;

namespace {

constexpr std::size_t most_commands = 64;

// ---------------------------------------------------------------------------------------------------
// What the input asks for

struct cabinet_choice {
    bool shell = false;
    bool socket = false;
    bool demo = false;
};

cabinet_choice read_cabinet_choice(const std::string& text) {
    cabinet_choice choice;
    if (text.rfind("#cabinet", 0) != 0) return choice;
    const std::string first = text.substr(0, text.find('\n'));
    choice.shell = first.find("shell") != std::string::npos;
    choice.socket = first.find("socket") != std::string::npos;
    choice.demo = first.find("demo") != std::string::npos;
    return choice;
}

// Raw lines: command, TAB, arguments; no escapes, so any byte but LF reaches the host.
movie_script raw_commands(const std::string& text) {
    movie_script script;
    for (std::string_view line : split_lines(text)) {
        script_directive d;
        const std::size_t tab = line.find('\t');
        d.name = std::string(line.substr(0, tab));
        if (tab != std::string_view::npos) d.value = std::string(line.substr(tab + 1));
        script.push_back(std::move(d));
    }
    return script;
}

movie_script read_input(const std::string& text) {
    try {
        return parse_movie_script(text);
    } catch (const script_error&) {
        return raw_commands(text);
    }
}

void set_scene(fuzzing::memory_cabinet& cab, const script_directive& d) {
    using kind = script_directive::kind;
    switch (d.what) {
        case kind::var: cab.game_movie.define_variable(d.name, d.value); break;
        case kind::draw: cab.draws.queue(d.draw); break;
        case kind::clock_at: cab.clock.set(d.at); break;
        case kind::clock_advance: cab.clock.advance(d.seconds); break;
        case kind::msgbox: cab.windows.queue_answer(d.answer); break;
        case kind::screen: cab.screen.set_screen(d.width, d.height); break;
        case kind::display_result: cab.screen.queue_change_result(d.result); break;
        case kind::display_enum_fail: cab.screen.fail_next_enumeration(); break;
        case kind::fs: break;
    }
}

// A cabinet as the operator installs it: the movies, the log started, question files; start-up creates
// the setup file, the high-score table and the meter file.
void install_cabinet(fuzzing::memory_cabinet& cab, const cabinet_choice& choice) {
    cab.write("intro.swf", "");
    cab.write("flash_game.swf", "");
    cab.write("system/logs/log.txt", "<ERROR LOG>\r\nCreated on 01/12/2026 at 09:00:00\r\n\r\n");
    cab.files.create_folder(cab.path("variable"));
    cab.write_question_files();
    cab.write("data/instructions.txt", "Answer four questions.\r\nGood luck!\r\n");
    if (choice.shell) cab.write("flg_orbital.dat", "");
    if (choice.socket) cab.write("flg_meridian.dat", "");
    if (choice.demo) cab.write("demo_mode.txt", "");
    cab.credit->credit = 1000;
    cab.credit->bank = 0;
    cab.credit->stakes[0] = 50;
    // Nothing listens on port 1: the service is away, and every exchange fails at once.
    cab.host.credit_port = 1;
}

// ---------------------------------------------------------------------------------------------------
// The forms the kept files must have after every command

bool is_plain_decimal(std::string_view text) {
    if (!text.empty() && text[0] == '-') text.remove_prefix(1);
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view{"0"} : text.substr(point + 1);
    const auto digits = [](std::string_view part) {
        return !part.empty() && std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    return digits(whole) && digits(fraction);
}

bool has_shape(std::string_view text, std::string_view shape) {  // '9' stands for a digit
    if (text.size() != shape.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (shape[i] == '9' ? !(text[i] >= '0' && text[i] <= '9') : text[i] != shape[i]) return false;
    }
    return true;
}

// Every line ends with CR LF, no line holds a CR of its own, and nothing follows the last line end.
bool whole_lines(const std::string& bytes) {
    std::vector<std::string> lines;
    for (std::string_view line : split_lines(bytes)) {
        if (line.find('\r') != std::string_view::npos) return false;
        lines.emplace_back(line);
    }
    return lines_to_bytes(lines) == bytes;
}

bool is_indexed_meter(std::string_view key) {
    return key == "M2" || key == "M4" || key == "M7" || key == "M11" || key == "M13" || key == "M16";
}

// The meter file keeps the lines start-up left, in their order, with the same keys; only values change,
// and every value is a plain decimal number ("M13" rows end with a percentage).
void check_meter_file(const std::string& now, const std::string& start, const std::string& context) {
    expect(whole_lines(now), "the meter file has a torn line", context);
    const auto now_lines = split_lines(now);
    const auto start_lines = split_lines(start);
    expect(now_lines.size() == start_lines.size(), "the meter file gained or lost lines", context);
    for (std::size_t i = 0; i < now_lines.size(); ++i) {
        const auto fields = split_views(now_lines[i], ',');
        const auto was = split_views(start_lines[i], ',');
        expect(fields.size() == was.size() && fields[0] == was[0], "a meter line changed its key or its fields", context);
        const std::string_view key = fields[0];
        const bool meter = key.size() >= 2 && key[0] == 'M' &&
                           std::all_of(key.begin() + 1, key.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (!meter) {
            if (key != "ModifiedDate") expect(now_lines[i] == start_lines[i], "a meter file header changed", context);
            continue;
        }
        std::size_t first_value = 1;
        if (is_indexed_meter(key)) {
            expect(fields[1] == was[1], "a meter row changed its index", context);
            first_value = 2;
        }
        for (std::size_t f = first_value; f < fields.size(); ++f) {
            std::string_view value = fields[f];
            if (key == "M13" && f + 1 == fields.size()) {
                expect(!value.empty() && value.back() == '%', "a percentage lost its sign", context);
                value.remove_suffix(1);
            }
            expect(is_plain_decimal(value), "a meter value is not a plain decimal number", context);
        }
    }
}

// Twenty score rows by rank with the scores falling, then twenty identification rows that match them.
void check_hiscores(const std::string& bytes, const std::string& context) {
    expect(whole_lines(bytes), "the high-score table has a torn line", context);
    const auto lines = split_lines(bytes);
    expect(lines.size() == 40, "the high-score table does not hold 40 rows", context);
    double previous = 0;
    for (std::size_t i = 0; i < 20; ++i) {
        const auto score = split_views(lines[i], ',');
        const auto id = split_views(lines[i + 20], ',');
        const std::string rank = std::to_string(i + 1);
        expect(score.size() == 8 && score[0] == "Score" && score[1] == rank && score[2].empty() && score[3].empty(),
               "a score row is out of form", context);
        expect(has_shape(score[4], "99:99 99/99/9999"), "a score row has no time stamp", context);
        expect(is_plain_decimal(score[7]), "a score is not a plain decimal number", context);
        const double value = std::stod(std::string(score[7]));
        expect(i == 0 || value <= previous, "the scores are out of rank order", context);
        previous = value;
        expect(id.size() == 7 && id[0] == "PlayerID" && id[1] == rank && id[2] == score[5] && id[3] == score[6],
               "an identification row does not match its score row", context);
    }
}

// The log only grows, by whole entries: date, time, two blanks and a message on one line.
void check_log(const std::string& now, const std::string& before, const std::string& context) {
    expect(now.size() >= before.size() && now.compare(0, before.size(), before) == 0, "the log lost what it held", context);
    const std::string added = now.substr(before.size());
    expect(whole_lines(added), "a log entry is torn", context);
    const auto entries = split_lines(added);
    expect(entries.size() <= 3, "one command wrote more log entries than it can", context);
    for (std::string_view entry : entries) {
        expect(entry.size() >= 21 && has_shape(entry.substr(0, 21), "99/99/9999 99:99:99  "), "a log line is no entry", context);
    }
}

struct kept_files {
    std::string setup, meters, log;
};

kept_files read_kept_files(fuzzing::memory_cabinet& cab) {
    return {cab.read("system/setup.ini"), cab.read("system/logs/meter.txt"), cab.read("system/logs/log.txt")};
}

// What was last found sound, so that a file no command changed is not checked again.
struct checked_files {
    std::string meters, hiscores;
};

void check_kept_files(fuzzing::memory_cabinet& cab, const kept_files& start, const std::string& log_before,
                      checked_files& checked, const std::string& context) {
    expect(cab.exists("system/setup.ini") && cab.exists("system/logs/meter.txt") && cab.exists("variable/highscores.txt") &&
               cab.exists("system/logs/log.txt"),
           "a kept file is gone", context);
    expect(cab.read("system/setup.ini") == start.setup, "the setup file changed", context);
    std::string meters = cab.read("system/logs/meter.txt");
    if (meters != checked.meters) {
        check_meter_file(meters, start.meters, context);
        checked.meters = std::move(meters);
    }
    std::string hiscores = cab.read("variable/highscores.txt");
    if (hiscores != checked.hiscores) {
        check_hiscores(hiscores, context);
        checked.hiscores = std::move(hiscores);
    }
    check_log(cab.read("system/logs/log.txt"), log_before, context);
}

// ---------------------------------------------------------------------------------------------------
// One command

// Raises one command; answers the exit status when the program ended in it.
std::optional<int> raise(fuzzing::memory_cabinet& cab, const std::string& command, const std::string& args) {
    try {
        raise_fscommand(cab.host, command, args);
    } catch (const program_exit& exit) {
        return exit.status;
    } catch (const run_time_error& e) {
        // The one failure the shutdown itself may meet: the goodbye to a credit service that is away. It
        // ends the program unhandled, as the movie player reports it.
        const bool goodbye = cab.host.credit.platform_code == 0 && e.detail().find("credit service") != std::string::npos &&
                             cab.game_movie.movie().empty();
        if (goodbye) return exit_intro_failed;
        fuzzing::report_finding("a run-time error left the dispatcher", e.what());
    } catch (const std::exception& e) {
        fuzzing::report_finding("an exception left the dispatcher", e.what());
    }
    return std::nullopt;
}

void start_cabinet(fuzzing::memory_cabinet& cab) {
    try {
        start_program(cab.host);
        raise_fscommand(cab.host, "INTRO_END", "");
    } catch (const program_exit& exit) {
        fuzzing::report_finding("a sound cabinet did not start", "exit status " + std::to_string(exit.status) + "\n" + cab.read("system/logs/log.txt"));
    } catch (const std::exception& e) {
        fuzzing::report_finding("a sound cabinet did not start", e.what());
    }
    expect(!cab.game_movie.movie().empty() && cab.game_movie.playing(), "the game movie is not playing after start-up");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const cabinet_choice choice = read_cabinet_choice(text);
    const movie_script script = read_input(text);

    fuzzing::memory_cabinet cab;
    install_cabinet(cab, choice);
    std::size_t next = 0;
    // The scene before the first command is set before start-up, as the movie player does.
    for (; next < script.size() && script[next].what != script_directive::kind::fs; ++next) set_scene(cab, script[next]);
    start_cabinet(cab);
    const kept_files start = read_kept_files(cab);
    checked_files checked;

    std::size_t commands = 0;
    for (; next < script.size() && commands < most_commands; ++next) {
        const script_directive& d = script[next];
        if (d.what != script_directive::kind::fs) {
            set_scene(cab, d);
            continue;
        }
        ++commands;
        const std::string context = d.name + "\t" + d.value;
        const std::string log_before = cab.read("system/logs/log.txt");
        const int variables_before = cab.events.variables_set;
        const std::optional<int> ended = raise(cab, d.name, d.value);
        check_kept_files(cab, start, log_before, checked, context);
        if (ended) {
            expect(*ended == exit_closed || *ended == exit_fatal || *ended == exit_intro_failed,
                   "the program ended with an unexpected status", context);
            expect(cab.game_movie.movie().empty(), "the game movie is still loaded after the end", context);
            if (*ended == exit_fatal) {
                const std::string log = cab.read("system/logs/log.txt");
                expect(log.find(".  Game Terminated.\r\n", log_before.size()) != std::string::npos,
                       "the fatal path left no log line", context);
            }
            break;
        }
        expect(cab.events.variables_set - variables_before <= 1, "one command set more than one answer", context);
        expect(cab.game_movie.playing(), "the movie was left stopped", context);
    }
    return 0;
}
