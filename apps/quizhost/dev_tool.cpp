// `quizhost dev FOLDER`: a development cabinet in one command, for the game developer. The cabinet folder is
// made (or taken again) outside the developer's folder, the stand-in credit system is set up with credit to
// play, the developer's movies are served from where they are, and the stage opens in a browser window with
// the developer's panel beside it.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "credit_state.hpp"
#include "definitions.hpp"
#include "platform/child_process.hpp"
#include "player/cabinet.hpp"
#include "player/dev_cabinet.hpp"
#include "player/web_developer.hpp"
#include "player/web_player.hpp"
#include "tools.hpp"

namespace quizhost {
namespace {

#ifdef _WIN32
constexpr const char* credit_library_name = "tccomm.dll";
#else
constexpr const char* credit_library_name = "libtccomm.so";
#endif

// The panel's column beside the 800 by 600 screen.
constexpr int window_width = 800 + 440;
constexpr int window_height = 600;

struct dev_options {
    std::string source;
    std::string cabinet;
    int http_port = 0;
    bool trace = false;
    bool no_browser = false;
    std::string browser;
    std::vector<std::string> browser_args;
};

std::string env(const char* name) {
    const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe): read once at start, one thread
    return value != nullptr ? value : "";
}

std::string state_home() {
    if (std::string state = env("XDG_STATE_HOME"); !state.empty()) return state;
#ifdef _WIN32
    if (std::string local = env("LOCALAPPDATA"); !local.empty()) return local;
#endif
    return (std::filesystem::path(env("HOME")) / ".local" / "state").string();
}

bool has_display() {
#ifdef _WIN32
    return true;
#else
    return !env("DISPLAY").empty() || !env("WAYLAND_DISPLAY").empty();
#endif
}

// The browser window on the stage: a page in a folder only this user can enter sends it on, so the stage's
// secret is on no command line. Ends with the returned process.
std::unique_ptr<child_process> open_stage_window(const dev_options& options, const std::string& stage_url,
                                                 std::string& folder) {
    const std::string program = options.browser.empty() ? default_kiosk_browser() : options.browser;
    if (program.empty()) throw process_error("no browser found on this machine; name one with --browser");
    folder = make_private_folder("quizhost-dev");
    const std::filesystem::path page = std::filesystem::path(folder) / "open.html";
    {
        std::FILE* out = std::fopen(page.string().c_str(), "wb");
        if (out == nullptr) throw process_error("cannot write " + page.string());
        std::fprintf(out,
                     "<!doctype html><meta charset=\"utf-8\"><title>quizhost dev</title>\n"
                     "<meta http-equiv=\"refresh\" content=\"0;url=%s\">\n",
                     stage_url.c_str());
        std::fclose(out);
    }
    process_launch launch{program,
                          {"--app=file://" + page.generic_string(),
                           "--window-size=" + std::to_string(window_width) + "," + std::to_string(window_height),
                           "--user-data-dir=" + (std::filesystem::path(folder) / "profile").string(), "--no-first-run",
                           "--disable-sync", "--disable-background-networking", "--disable-component-update",
                           "--noerrdialogs", "--autoplay-policy=no-user-gesture-required"}};
    for (const std::string& arg : options.browser_args) launch.args.push_back(arg);
    return start_child_process(launch);
}

int run_dev(const dev_options& options, const std::string& program_folder) {
    dev_cabinet_request request;
    request.source = options.source;
    request.cabinet = options.cabinet;
    request.state_home = state_home();
#ifdef QUIZHOST_SOURCE_TREE
    request.source_tree = QUIZHOST_SOURCE_TREE;
#endif
    const std::filesystem::path library = std::filesystem::path(program_folder) / credit_library_name;
    std::error_code failed;
    if (std::filesystem::is_regular_file(library, failed)) request.credit_library = library.string();
    request.credit_library_name = credit_library_name;
    dev_cabinet cabinet;
    try {
        cabinet = prepare_dev_cabinet(request);
    } catch (const dev_cabinet_error& e) {
        std::fprintf(stderr, "quizhost dev: %s\n", e.what());
        return exit_usage;
    }
    std::printf("quizhost dev: the cabinet is %s (%s; the host writes only there)\n", cabinet.root.c_str(),
                cabinet.reused ? "kept from the last run" : "new");
    std::printf("quizhost dev: the game movie is served from %s, the intro from %s; a change reloads it\n",
                cabinet.game_folder.c_str(), cabinet.intro_folder.c_str());
    for (const std::string& note : cabinet.notes) std::printf("quizhost dev: %s\n", note.c_str());
    std::fflush(stdout);

    web::developer_mode mode;
    mode.intro_folder = cabinet.intro_folder;
    mode.game_folder = cabinet.game_folder;
    const std::string state = cabinet.credit_state;
    mode.insert_coins = [state](double credits) {
        standin::credit_state file(state);
        file.add("credit", credits);
        file.save();
        return file.number("credit");
    };
    mode.credit_and_bank = [state]() -> std::optional<std::pair<double, double>> {
        try {
            const standin::credit_state file(state);
            return std::pair{file.number("credit"), file.number("bank")};
        } catch (const std::exception&) {
            return std::nullopt;
        }
    };

    cabinet_options host_options;
    host_options.program_folder = cabinet.root;
    web::browser_options browser;
    browser.http_port = options.http_port;
    browser.trace = options.trace;
    browser.developer = &mode;
    std::unique_ptr<child_process> window;
    std::string window_folder;
    const bool open_window = !options.no_browser && has_display();
    browser.stage_ready = [&](const std::string& stage_url) {
        if (!open_window) {
            std::printf("quizhost dev: no display here: open the address above in a browser (Ctrl-C ends)\n");
            std::fflush(stdout);
            return;
        }
        try {
            window = open_stage_window(options, stage_url, window_folder);
        } catch (const process_error& e) {
            std::fprintf(stderr, "quizhost dev: the browser window: %s; open the address above yourself\n", e.what());
        }
    };
    const int status = web::run_browser(host_options, browser, nullptr, stdout, stderr);
    window.reset();
    if (!window_folder.empty()) std::filesystem::remove_all(window_folder, failed);
    return status;
}

}  // namespace

void add_dev_command(CLI::App& app, int& status, const std::string& program_folder) {
    auto options = std::make_shared<dev_options>();
    CLI::App* dev = app.add_subcommand(
        "dev",
        "A development cabinet in one command: the stand-in credit system with credit to play, your movies served "
        "from where they are (a change reloads them), the stage in a browser window with the developer's panel "
        "beside it. Writes nothing in FOLDER.");
    dev->add_option("folder", options->source,
                    "Your cabinet folder (flash_game/, and intro/, data/, system/setup.ini when it has them) or one "
                    "game movie's folder (its index.html)")
        ->required()
        ->type_name("FOLDER");
    dev->add_option("--cabinet", options->cabinet,
                    "The cabinet folder the host writes in (default: $XDG_STATE_HOME/quizhost-dev/NAME, else "
                    "~/.local/state/quizhost-dev/NAME); kept between runs")
        ->type_name("DIR");
    dev->add_option("--http-port", options->http_port, "The stage's port on 127.0.0.1 (default 0: a free one)")
        ->type_name("PORT")
        ->check(CLI::Range(0, 65535));
    dev->add_flag("--trace", options->trace, "Also print every step of the host on standard error");
    dev->add_flag("--no-browser", options->no_browser, "Open no browser window; only print the address");
    dev->add_option("--browser", options->browser, "The browser to open (default: Debian's Chromium)")
        ->type_name("PATH");
    dev->add_option("--browser-arg", options->browser_args, "One more argument for the browser; repeat it for more")
        ->type_name("ARG")
        ->allow_extra_args(false);
    dev->footer(
        "Examples:\n  quizhost dev demo/cabinet\n  quizhost dev ~/games/myquiz --trace\n"
        "Coins: the panel's buttons, or quizhost-credit-service insert N --state CABINET/credit_state.txt.\n"
        "Exit status: as quizhost's own (0 after CLOSE_ALL, 1 after a fatal error, 130 after Ctrl-C); 2 for a "
        "folder it cannot use.");
    dev->callback([options, &status, program_folder] { status = run_dev(*options, program_folder); });
}

}  // namespace quizhost
