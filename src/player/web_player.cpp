#include "player/web_player.hpp"

#include <filesystem>
#include <optional>
#include <system_error>

#include "forms/command_reference.hpp"
#include "forms/form_main.hpp"
#include "forms/runtime.hpp"
#include "platform/child_process.hpp"
#include "platform/clock.hpp"
#include "platform/draws.hpp"
#include "platform/headless/headless.hpp"
#include "platform/paths.hpp"
#include "platform/private_files.hpp"
#include "platform/service_notify.hpp"
#include "platform/web/bridge.hpp"
#include "platform/web/web_seams.hpp"
#include "recall/game_recall.hpp"
#include "records/error_log.hpp"

namespace quizhost::web {
namespace {

// How long the stage gets to take the last messages (the end of the program) before the host leaves.
constexpr std::chrono::milliseconds goodbye_bound{1000};

// A line about the kiosk browser in the error log, through the log's own writer. The browser may die before
// the main form has named the system folder (during the intro); the log is in the same place then.
void log_kiosk_line(host& h, const std::string& line, std::FILE* err) {
    const std::string named = h.start.system_path;
    if (named.empty()) h.start.system_path = h.program_folder + system_folder_name;
    try {
        write_error(h, line);
    } catch (const run_time_error& e) {
        std::fprintf(err, "quizhost: cannot write to the error log: %s\n", e.what());
    }
    h.start.system_path = named;
}

// Points the host's movie and window seams at the player's for as long as the player runs.
class seams_in_use {
public:
    seams_in_use(host& h, movie_control& intro, movie_control& game, window_system& windows) : h_(h), saved_(h.io) {
        h.io.intro_movie = &intro;
        h.io.game_movie = &game;
        h.io.windows = &windows;
    }
    ~seams_in_use() {
        h_.io.intro_movie = saved_.intro_movie;
        h_.io.game_movie = saved_.game_movie;
        h_.io.windows = saved_.windows;
    }
    seams_in_use(const seams_in_use&) = delete;
    seams_in_use& operator=(const seams_in_use&) = delete;

private:
    host& h_;
    seams saved_;
};

// Gathers the messages of one command into one frame to the stage.
class gathered_messages {
public:
    explicit gathered_messages(bridge& link) : link_(link) { link_.gather_messages(); }
    ~gathered_messages() { link_.release_messages(); }
    gathered_messages(const gathered_messages&) = delete;
    gathered_messages& operator=(const gathered_messages&) = delete;

private:
    bridge& link_;
};

class player {
public:
    player(host& h, bridge& link, std::FILE* err, kiosk_supervisor* kiosk)
        : h_(h),
          link_(link),
          err_(err),
          kiosk_(kiosk),
          intro_(form::intro, link, trace(), h.program_folder),
          game_(form::main, link, trace(), h.program_folder),
          windows_(link, trace()),
          in_use_(h, intro_, game_, windows_) {
        link_.on_stage_connected([this] {
            windows_.replay();
            intro_.replay();
            game_.replay();
        });
        if (kiosk_ != nullptr) link_.every(kiosk_look_period, [this] { look_after_kiosk(); });
        if (const auto period = service_watchdog_period()) {
            link_.every(
                std::max(std::chrono::duration_cast<std::chrono::milliseconds>(*period), std::chrono::milliseconds(1)),
                [] { notify_service_alive(); });
        }
    }

    ~player() { link_.stop_ticks(); }

    int run(const program_entry& program) {
        if (!link_.wait_for_stage()) return interrupted(program, false);
        if (const auto status = run_host_step(h_, program.start, err_)) return finish(*status);
        notify_service_ready();
        for (;;) {
            // Without a kiosk nothing happens between commands; with one, the wait ends now and then to
            // start a restarted browser's game afresh.
            const auto command =
                link_.next_command(kiosk_ != nullptr ? std::optional(kiosk_look_period) : std::nullopt);
            if (command) {
                if (const auto status = take(program, *command)) return finish(*status);
            } else if (link_.interrupted()) {
                break;
            }
            if (restart_game_) {
                if (const auto status = restart_game()) return finish(*status);
            }
        }
        return interrupted(program, true);
    }

private:
    // Runs on the bridge's ticks, in any wait, so never inside a host procedure's own work: it only looks
    // at the browser, restarts it, and notes what the player must do between commands.
    void look_after_kiosk() {
        if (!kiosk_->check(std::chrono::steady_clock::now(), link_.stage_connected())) return;
        if (kiosk_->gave_up()) {
            link_.interrupt();
        } else {
            restart_game_ = true;
        }
    }

    // The restarted browser's page starts with the game movie loaded afresh, as RESET_FLASH_GAME does; a
    // command its dead page raised and the host has not taken yet is dropped with that page's movie.
    std::optional<int> restart_game() {
        restart_game_ = false;
        if (game_.movie().empty()) return std::nullopt;
        recall_close_open_game(h_, "a restart of the kiosk browser");
        return run_host_step(
            h_, [&] { reset_flash_game(h_); }, err_);
    }

    event_sink& trace() { return h_.io.trace != nullptr ? *h_.io.trace : no_trace_; }

    std::optional<int> take(const program_entry& program, const raised_command& command) {
        const web_movie& raiser = command.form == "intro" ? intro_ : game_;
        gathered_messages gather(link_);
        if (command.load != raiser.load()) {
            // Raised by a movie the host has since replaced or unloaded: that movie no longer exists.
            std::fprintf(err_, "quizhost: dropped %s: the %s form's movie that raised it is no longer loaded\n",
                         command.command.c_str(), command.form.c_str());
        } else if (const auto status = run_host_step(
                       h_, [&] { program.raise(command.command, command.args); }, err_,
                       command_step_name(command.command, command.args), &fatal_)) {
            return status;
        }
        // The movie holds its frames until its command is done, so its next frame sees the answer.
        link_.send({{"type", "done"}, {"id", command.id}});
        return std::nullopt;
    }

    // Ctrl-C or SIGTERM, taken between two commands (never inside one): a started program shuts down as
    // it does after "CLOSE_ALL" (goodbye to the credit service, display mode restored), with its own status.
    int interrupted(const program_entry& program, bool started) {
        const bool browser_failed = kiosk_ != nullptr && kiosk_->gave_up();
        const int wanted = browser_failed ? exit_fatal : exit_interrupted;
        if (browser_failed) {
            // The service manager restarts the whole cabinet; the log and the journal say why.
            std::fprintf(err_, "quizhost: %s; ending\n", kiosk_->why().c_str());
            log_kiosk_line(h_, kiosk_->why() + ".  Game Terminated.", err_);
        } else {
            std::fprintf(err_, "quizhost: interrupted; shutting down\n");
            // The open game is closed first, so the log's line comes after what the recall kept.
            if (started) recall_close_open_game(h_, "SIGTERM or SIGINT (the host was stopped)");
            log_kiosk_line(h_, "HOST STOPPED (SIGTERM or SIGINT)", err_);
        }
        std::optional<int> status;
        if (started && program.shutdown) {
            status = run_host_step(
                h_, [&] { program.shutdown(wanted); }, err_);
        }
        if (!status) {
            trace().event({"exit", std::to_string(wanted)});
            status = wanted;
        }
        return finish(*status);
    }

    // The host has traced the end already; the stage learns it and is let go.
    int finish(int status) {
        // The stage is let go now: a browser without it is no dead browser any more.
        link_.stop_ticks();
        notify_service_stopping();
        nlohmann::json exit{{"type", "exit"}, {"status", status}};
        // The stage's end screen shows the operator what failed, as the log and standard error tell it.
        if (status == exit_fatal && !fatal_.log_text.empty()) {
            exit["error"] = fatal_.log_text;
            exit["detail"] = fatal_.detail;
        }
        link_.send(exit);
        link_.finish(goodbye_bound);
        return status;
    }

    host& h_;
    bridge& link_;
    std::FILE* err_;
    fatal_report fatal_;
    kiosk_supervisor* kiosk_;
    bool restart_game_ = false;
    null_event_sink no_trace_;
    web_movie intro_;
    web_movie game_;
    web_windows windows_;
    seams_in_use in_use_;
};

// The stage's address with its secret, kept for the operator in a file only the host's user may read, for
// as long as the host runs (the secret dies with it). Nothing when there is no such place: the address is
// printed all the same.
class stage_address_file {
public:
    stage_address_file(const bridge& link, std::FILE* err) {
        try {
            const auto file =
                std::filesystem::path(private_folder()) / ("stage-" + std::to_string(link.port()) + ".url");
            write_private_file(file.string(), link.stage_url() + "\n");
            path_ = file.string();
        } catch (const private_files_error& e) {
            std::fprintf(err, "quizhost: the stage's address is kept in no file: %s\n", e.what());
        }
    }
    ~stage_address_file() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove(path_, ignored);
    }
    stage_address_file(const stage_address_file&) = delete;
    stage_address_file& operator=(const stage_address_file&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace

void trace_unknown_command(event_sink& trace, const std::string& command, const std::string& args) {
    const std::string nearest = nearest_command(command);
    trace.event({"unknown", "main", command, args,
                 nearest.empty() ? "no such command: nothing happens"
                                 : "no such command: nothing happens (did you mean " + nearest + "?)"});
}

int run_player(host& h, bridge& link, const program_entry& program, std::FILE* err, kiosk_supervisor* kiosk) {
    player p(h, link, err, kiosk);
    return p.run(program);
}

// A fresh one-time link for each browser start: the command line that `ps` shows to every local user
// holds only a link that is spent once the browser has followed it, never the stage's secret.
std::string kiosk_stage_url(bridge& link) { return link.one_time_url(); }

namespace {

// The kiosk browser's private folder (its profile), removed when the host is done with it.
class private_folder {
public:
    explicit private_folder(std::string path) : path_(std::move(path)) {}
    ~private_folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    private_folder(const private_folder&) = delete;
    private_folder& operator=(const private_folder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace

int run_browser(const cabinet_options& cabinet, const browser_options& options, display* screen, std::FILE* out,
                std::FILE* err) {
    std::unique_ptr<file_lock> cabinet_lock;  // held until the host has ended
    if (const std::optional<int> status = lock_cabinet(cabinet, cabinet_lock, err)) return *status;
    std::optional<stream_event_sink> trace;
    if (options.trace) trace.emplace(err);
    const machine_seams machine(cabinet);
    const std::unique_ptr<clock> system_clock = make_system_clock();
    queued_draws draws(std::make_unique<generator_draws>());
    std::optional<traced_display> traced_screen;
    if (screen != nullptr && trace) screen = &traced_screen.emplace(*screen, *trace);

    host h;
    machine.attach(h, cabinet);
    h.io.clock = system_clock.get();
    h.io.draws = &draws;
    h.io.screen = screen;
    h.io.trace = trace ? &*trace : nullptr;

    std::optional<bridge> link;
    try {
        link.emplace(bridge_options{cabinet.program_folder, options.http_port, true, {}});
    } catch (const bridge_error& e) {
        std::fprintf(err, "quizhost: %s\n", e.what());
        return exit_usage;
    }
    const stage_address_file address_file(*link, err);
    // Declared before the supervisor, so the browser has ended when its folder goes.
    std::optional<private_folder> kiosk_folder;
    std::optional<kiosk_supervisor> kiosk;
    if (options.kiosk) {
        const std::string program = options.browser.empty() ? default_kiosk_browser() : options.browser;
        try {
            if (program.empty()) throw process_error("no kiosk browser found on this machine; name one with --browser");
            kiosk_folder.emplace(make_private_folder("quizhost-kiosk"));
            kiosk.emplace(program, options.browser_args, kiosk_folder->path(),
                          kiosk_supervisor::hooks{start_child_process, [&] { return kiosk_stage_url(*link); },
                                                  [&](const std::string& line) {
                                                      std::fprintf(err, "quizhost: %s\n", line.c_str());
                                                      std::fflush(err);
                                                      log_kiosk_line(h, line, err);
                                                  }});
            kiosk->start(std::chrono::steady_clock::now());
        } catch (const process_error& e) {
            std::fprintf(err, "quizhost: the kiosk browser: %s\n", e.what());
            return exit_fatal;
        }
        std::fprintf(out, "quizhost: started the kiosk browser %s (process %ld) at %s\n", program.c_str(),
                     kiosk->browser_id(), link->address().c_str());
    } else {
        const std::string kept =
            address_file.path().empty() ? "" : " (kept for this user only in " + address_file.path() + ")";
        std::fprintf(out, "quizhost: open %s in the cabinet's browser%s; waiting for the stage to connect\n",
                     link->stage_url().c_str(), kept.c_str());
    }
    std::fflush(out);
    const program_entry program{[&] { start_program(h); },
                                [&](const std::string& command, const std::string& args) {
                                    const bool to_game = !h.io.game_movie->movie().empty();
                                    raise_fscommand(h, command, args);
                                    // Nothing happens for a name that matches no row, as ever; the
                                    // developer watching --trace sees the misspelling at once.
                                    if (trace && to_game && find_command(command) == nullptr)
                                        trace_unknown_command(*trace, command, args);
                                },
                                [&](int status) { unload_wrapper(h, status); }};
    return run_player(h, *link, program, err, kiosk ? &*kiosk : nullptr);
}

}  // namespace quizhost::web
