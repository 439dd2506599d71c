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
// shutdown fails and ends the program unhandled. Findings: a crash or sanitizer report, a hang, any other exception
// leaving the host, more than one answer variable set for one command, a movie left stopped, a log entry that is not
// one whole stamped line, and a meter file, high-score table or setup file left in a form it does not
// have.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "basic/text.hpp"
#include "definitions.hpp"
#include "forms/runtime.hpp"
#include "player/movie_script.hpp"
#include "records/text_records.hpp"
#include "support/finding.hpp"
#include "support/kept_file_forms.hpp"
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
        case kind::var:
            cab.game_movie.define_variable(d.name, d.value);
            break;
        case kind::draw:
            cab.draws.queue(d.draw);
            break;
        case kind::clock_at:
            cab.clock.set(d.at);
            break;
        case kind::clock_advance:
            cab.clock.advance(d.seconds);
            break;
        case kind::msgbox:
            cab.windows.queue_answer(d.answer);
            break;
        case kind::screen:
            cab.screen.set_screen(d.width, d.height);
            break;
        case kind::display_result:
            cab.screen.queue_change_result(d.result);
            break;
        case kind::display_enum_fail:
            cab.screen.fail_next_enumeration();
            break;
        case kind::fs:
            break;
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
// The kept files after every command

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
    expect(cab.exists("system/setup.ini") && cab.exists("system/logs/meter.txt") &&
               cab.exists("variable/highscores.txt") && cab.exists("system/logs/log.txt"),
           "a kept file is gone", context);
    expect(cab.read("system/setup.ini") == start.setup, "the setup file changed", context);
    std::string meters = cab.read("system/logs/meter.txt");
    if (meters != checked.meters) {
        const std::string fault = fuzzing::meter_file_fault(meters, start.meters);
        expect(fault.empty(), fault, context);
        checked.meters = std::move(meters);
    }
    std::string hiscores = cab.read("variable/highscores.txt");
    if (hiscores != checked.hiscores) {
        const std::string fault = fuzzing::hiscore_table_fault(hiscores);
        expect(fault.empty(), fault, context);
        checked.hiscores = std::move(hiscores);
    }
    // A command writes at most its own entry, a note of what it did, and the fatal path's line.
    const std::string fault = fuzzing::log_growth_fault(cab.read("system/logs/log.txt"), log_before, 3);
    expect(fault.empty(), fault, context);
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
        const bool goodbye = cab.host.credit.platform_code == 0 &&
                             e.detail().find("credit service") != std::string::npos && cab.game_movie.movie().empty();
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
        fuzzing::report_finding("a sound cabinet did not start",
                                "exit status " + std::to_string(exit.status) + "\n" + cab.read("system/logs/log.txt"));
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
    for (; next < script.size() && script[next].what != script_directive::kind::fs; ++next)
        set_scene(cab, script[next]);
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
