// quizhost: the host program of a coin-operated quiz cabinet.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "definitions.hpp"
#include "display_option.hpp"
#include "platform/standard_streams.hpp"
#include "player/cabinet.hpp"
#include "player/headless_player.hpp"
#include "player/movie_script.hpp"
#include "tools.hpp"
#ifdef QUIZHOST_HAVE_WEB
#include "player/web_player.hpp"
#endif

namespace {

constexpr const char* footer = R"(A movie script drives the host without a display: one directive per line, fields
separated by one TAB, \\ \t \r \n \xHH inside a field, '#' lines and blank lines ignored.
  fs COMMAND [ARGS]          the movie raises a command (the host starts at the first one)
  var NAME VALUE             what the game movie answers when the host reads NAME
  draw U                     the next random draw, 0 <= U < 1
  clock YYYY-MM-DD HH:MM:SS  fix the clock;  clock +N  moves it on N seconds
  msgbox ok|yes|no           the answer to the next message box
  screen WxH                 the screen size before start-up (default 800x600)
  display RESULT|enum-fail   the result of the next display-mode change
For example:
  var	content_version_no	12
  fs	INTRO_END
  fs	GET_WRAPPER_VERSION
  fs	MSGBOX	Hello
  fs	CLOSE_ALL
Every step of the host is printed as one TAB-separated line ("set	vb_wrapper_version	7.12").
Exit status: 0 after CLOSE_ALL or when the script ran out, 1 after a fatal error, 2 for a bad
command line or script, 3 when the intro failed or the shutdown itself failed, 4 when another host holds
the cabinet folder (one host per folder; the tools meters and content need no lock).)";

int usage_error(const std::string& message) {
    std::fprintf(stderr, "quizhost: %s\n", message.c_str());
    return quizhost::exit_usage;
}

// The script's text, from a file or ("-") from standard input; nothing when it cannot be read.
std::optional<std::string> read_script(const std::string& path, std::string& why) {
    std::ostringstream text;
    if (path == "-") {
        text << std::cin.rdbuf();
        return text.str();
    }
    std::error_code failed;
    if (std::filesystem::is_directory(path, failed)) {
        why = "is a folder";
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = std::filesystem::exists(path, failed) ? "cannot be opened" : "does not exist";
        return std::nullopt;
    }
    text << in.rdbuf();
    if (in.bad()) {
        why = "cannot be read";
        return std::nullopt;
    }
    return text.str();
}

}  // namespace

static int run_program(int argc, char** argv) {
    // What quizhost prints (transcripts, deciphered files) and reads are exact bytes on every system.
    quizhost::use_binary_standard_streams();
    quizhost::cabinet_options options;
    options.program_folder = quizhost::executable_folder(argc > 0 ? argv[0] : nullptr);
    std::string script_path;

    CLI::App app{"quizhost: the host program of a coin-operated quiz cabinet"};
    app.set_version_flag("--version", std::string("quizhost ") + QUIZHOST_VERSION);
    app.footer(footer);
    app.add_option("--root", options.program_folder,
                   "The cabinet folder: movies, system/, variable/, data/ (default: the folder holding "
                   "quizhost). Example: --root /srv/cabinet")
        ->type_name("DIR");
    app.add_option("--script", script_path,
                   "Play this movie script with the headless movie player; - reads it from standard "
                   "input. Example: --script demo.script")
        ->type_name("FILE");
    app.add_option("--credit-port", options.credit_port,
                   "Port of the local credit service on 127.0.0.1 (default 7475). Example: --credit-port 7500")
        ->type_name("PORT")
        ->check(CLI::Range(1, 65535));
    app.add_option("--credit-service-user", options.credit_service_user,
                   "A user besides root and quizhost's own that may run the local credit service; a listener "
                   "on the credit port owned by any other user is refused. Example: --credit-service-user "
                   "tollcredit")
        ->type_name("USER");
    std::string display_choice = "auto";
    quizhost::add_display_option(app, display_choice);
#ifdef QUIZHOST_HAVE_WEB
    quizhost::web::browser_options browser;
    app.add_option("--http-port", browser.http_port,
                   "Without --script the browser player runs the movies: open the address with this start's "
                   "secret, http://127.0.0.1:PORT/#key=..., kept for this user only in the file it names, in "
                   "the cabinet's browser (127.0.0.1 only; default 7480, 0 picks a free port; Ctrl-C shuts down "
                   "with status 130). Example: --http-port 8080")
        ->type_name("PORT")
        ->check(CLI::Range(0, 65535));
    const auto kiosk_flag =
        app.add_flag("--kiosk", browser.kiosk,
                     "With the browser player: start the cabinet's browser on the stage, full screen, and keep "
                     "it (restarted when it dies, ended when quizhost ends); Debian's Chromium, or Edge or "
                     "Chrome on Windows, unless --browser names another");
    app.add_option("--browser", browser.browser,
                   "With --kiosk: the browser to start instead of the machine's own. Example: --browser "
                   "/usr/bin/google-chrome")
        ->type_name("PATH")
        ->needs(kiosk_flag);
    app.add_option("--browser-arg", browser.browser_args,
                   "With --kiosk: one more argument for the browser; repeat it for more. Example: "
                   "--browser-arg=--no-sandbox")
        ->type_name("ARG")
        ->allow_extra_args(false)
        ->needs(kiosk_flag);
    app.add_flag("--trace", browser.trace,
                 "With the browser player: print every step of the host on standard error, as the movie "
                 "script's transcript shows it");
#endif

    int tool_status = 0;
    quizhost::add_content_commands(app, tool_status);
    quizhost::add_meters_command(app, tool_status);
    quizhost::add_check_command(app, tool_status, options.program_folder);
    quizhost::add_movie_command(app, tool_status);
    quizhost::add_commands_command(app, tool_status);
    quizhost::add_recall_command(app, tool_status);
#ifdef QUIZHOST_HAVE_WEB
    quizhost::add_dev_command(app, tool_status, options.program_folder);
#endif
    app.require_subcommand(0, 1);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return usage_error(std::string(e.what()) + " (see quizhost --help)");
    }
    if (!app.get_subcommands().empty()) return tool_status;

    options.program_folder = quizhost::without_trailing_separator(options.program_folder);
    std::error_code failed;
    if (!std::filesystem::is_directory(options.program_folder, failed)) {
        return usage_error("--root " + options.program_folder + ": no such folder");
    }
#ifdef QUIZHOST_HAVE_WEB
    if (browser.kiosk && !script_path.empty())
        return usage_error("--kiosk is for the browser player, not with --script");
    if (script_path.empty()) {
        const std::string chosen = quizhost::resolve_display_choice(display_choice, false);
        std::unique_ptr<quizhost::display> screen;
        try {
            screen = quizhost::open_chosen_display(chosen);
        } catch (const std::exception& e) {
            return usage_error("--display " + chosen + ": " + e.what());
        }
        return quizhost::web::run_browser(options, browser, screen.get(), stdout, stderr);
    }
#else
    if (script_path.empty()) return usage_error("the browser player is not built in; use --script FILE");
#endif

    std::string why;
    const std::optional<std::string> text = read_script(script_path, why);
    if (!text) return usage_error("movie script " + script_path + " " + why);
    quizhost::movie_script script;
    try {
        script = quizhost::parse_movie_script(*text);
    } catch (const quizhost::script_error& e) {
        return usage_error("movie script " + script_path + ", " + e.what());
    }
    return quizhost::run_headless_on_display(options, script, display_choice, stdout, stderr);
}

int main(int argc, char** argv) {
    // A failure the program's own code does not catch (memory, the C++ library) ends it with a line and a
    // status, as one inside the host does, not with std::terminate's abort.
    try {
        return run_program(argc, argv);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "quizhost: unhandled failure: %s\n", failure.what());
    } catch (...) {
        std::fprintf(stderr, "quizhost: unhandled failure\n");
    }
    return quizhost::exit_intro_failed;
}
