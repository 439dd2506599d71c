// The preflight reads only: files are read, permissions asked, the credit library loaded without a call,
// the shell attached and let go, the credit service asked for the credit, and the browser port tried for a
// moment. Every rule it applies is the host's own (the setup bounds, the platform order, the data folder
// check), called rather than restated, so the preflight cannot drift from what the host does.
#include "forms/cabinet_check.hpp"

#include <cstdint>
#include <exception>
#include <vector>

#include "basic/numbers.hpp"
#include "basic/text.hpp"
#include "credit/credit_link.hpp"
#include "forms/folder_check.hpp"
#include "forms/movie_check.hpp"
#include "meters/meter_report.hpp"
#include "meters/setup_file_defs.hpp"
#include "platform/client_shell.hpp"
#include "platform/file_system.hpp"
#include "platform/folder_lock.hpp"
#include "platform/loopback_socket.hpp"
#include "platform/paths.hpp"
#include "recall/game_recall.hpp"
#include "recall/recall_report.hpp"
#include "records/text_records.hpp"
#include "scores/hiscores.hpp"
#include "swf/swf_file.hpp"

namespace quizhost {
namespace {

using level = content_finding::level;

// The work files the host's rewrites go through, kept beside their targets between rewrites.
constexpr const char* record_work_file_name = "scrap.txt";
constexpr const char* hiscore_work_file_name = "newfile.txt";

std::string why(const run_time_error& e) {
    std::string text = "error " + std::to_string(e.number()) + " " + e.description();
    if (!e.detail().empty()) text += " (" + e.detail() + ")";
    return text;
}

// A folder's path as the operator types it: without the trailing separator the host's paths carry.
std::string shown_folder(std::string path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    return path;
}

class cabinet_checker {
public:
    cabinet_checker(const cabinet_check_seams& seams, const cabinet_check_options& options)
        : fs_(seams.files),
          seams_(seams),
          options_(options),
          root_(options.program_folder),
          system_(root_ + system_folder_name),
          variable_(root_ + variable_folder_name) {}

    content_findings run(const progress_report& progress) {
        if (!fs_.folder_exists(root_)) {
            add(level::error, root_, "no such folder: give the cabinet folder with --root");
            return std::move(findings_);
        }
        // Each part is checked whatever became of the others; a failure of the check itself is an error
        // naming what it was looking at, never the end of the preflight.
        guarded(root_, [&] { check_other_host(); });
        guarded(root_, [&] { check_movies(); });
        guarded(root_, [&] { check_markers(); });
        guarded(shown_folder(system_), [&] { check_system_folder(); });
        guarded(shown_folder(system_), [&] { check_recall_money(); });
        guarded(shown_folder(variable_), [&] { check_variable_folder(); });
        guarded(root_, [&] { check_credit_channel(); });
        guarded(shown_folder(root_ + data_folder_name), [&] { check_data(progress); });
        guarded("127.0.0.1:" + std::to_string(options_.http_port), [&] { check_browser_port(); });
        return std::move(findings_);
    }

private:
    void add(level kind, const std::string& file, std::string message) {
        findings_.add(kind, file, 0, std::move(message));
    }

    template <typename check>
    void guarded(const std::string& what, const check& run) {
        try {
            run();
        } catch (const run_time_error& e) {
            add(level::error, what, "the check could not finish: " + why(e));
        } catch (const std::exception& e) {
            add(level::error, what, std::string("the check could not finish: ") + e.what());
        }
    }

    // A table the host cannot read (too large, or rows it cannot rebuild) ends every game that enters a
    // score, after its price was taken.
    void check_hiscore_table(const std::string& table) {
        std::string fault;
        try {
            fault = unreadable_hiscore_table(fs_, table);
        } catch (const run_time_error& e) {
            add(level::error, table, "cannot be read, the host stops at start: " + why(e));
            return;
        }
        if (!fault.empty()) {
            add(level::error, table,
                "the high-score table" + fault +
                    ": every ADD_TO_HISCORES stops the game, and the host will not rebuild it; restore it from "
                    "a backup, or delete it for a new dummy table");
        }
    }

    // The meter file (or the master copy the host would restore it from) as start-up reads it: a file the
    // host cannot play on keeps the cabinet down, so it is an error here, each line named; lines that are
    // only odd (unknown, repeated) are a warning.
    void check_meter_file(const std::string& path, const std::string& what) {
        std::string bytes;
        try {
            bytes = read_bounded_file(fs_, path);
        } catch (const run_time_error& e) {
            add(level::error, path, "cannot be read, the host stops at start: " + why(e));
            return;
        }
        const meter_report report = read_meter_report(bytes);
        const std::string restore =
            "; restore it from a backup or the master copy system/meter.txt (quizhost meters names every damaged "
            "line; quizhost recall shows the games played since)";
        const std::string unplayable = unplayable_meter_file(bytes, report);
        if (unplayable.starts_with("it ")) {  // the file as a whole: empty, or not split into lines
            findings_.add(level::error, path, 0, what + ": " + unplayable + ", so the host refuses to start" + restore);
            return;
        }
        if (!unplayable.empty()) {
            // Every line that keeps the cabinet down is named, up to a screenful.
            const std::size_t shown = std::min<std::size_t>(report.unplayable.size(), 10);
            for (std::size_t i = 0; i < shown; ++i) {
                const auto& d = report.unplayable[i];
                findings_.add(level::error, path, d.number,
                              what + " is damaged, so the host refuses to start: " + damaged_line_text(d) +
                                  (i + 1 == shown ? restore : ""));
            }
            if (report.unplayable.size() > shown) {
                findings_.add(level::error, path, 0,
                              std::to_string(report.unplayable.size() - shown) + " more damaged lines, as above");
            }
            return;
        }
        for (const auto& d : report.damaged) {
            findings_.add(level::warning, path, d.number,
                          what + " has a line the host does not count: " + damaged_line_text(d));
        }
    }

    // A file the host rewrites in place or through a work file must be writable by the user running it.
    void need_writable(const std::string& path, const std::string& what) {
        if (!seams_.writable(path)) {
            add(level::error, path,
                "not writable by this user: " + what + "; make it writable for the user that runs quizhost");
        }
    }

    // A missing folder that the host creates at start: its parent must let it.
    void need_creatable(const std::string& folder, const std::string& parent) {
        if (fs_.folder_exists(parent) && !seams_.writable(parent)) {
            add(level::error, shown_folder(parent),
                "not writable by this user, so the host cannot create " + shown_folder(folder) +
                    " at start; create it, or make this folder writable for the user that runs quizhost");
        }
    }

    void check_movie(const char* swf_name, const std::string& what) {
        const std::string swf = root_ + swf_name;
        const std::string folder = swf.substr(0, swf.size() - 4);  // "intro.swf" plays as the folder "intro/"
        const std::string page = folder + path_separator + "index.html";
        if (fs_.folder_exists(folder)) {
            if (!fs_.file_exists(page)) {
                add(level::error, page,
                    "missing: the " + what + " folder " + folder +
                        " needs its index.html, or the browser shows nothing");
            }
            return;
        }
        if (fs_.file_exists(swf)) {
            std::string bytes;
            try {
                bytes = fs_.read_file(swf);
            } catch (const run_time_error& e) {
                add(level::error, swf, "cannot be read: " + why(e));
                return;
            }
            if (swf::looks_like_swf(bytes)) {
                check_flash_movie(swf, bytes, what == "intro" ? movie_form::intro : movie_form::main, findings_);
            } else {
                add(level::error, swf,
                    "not a Flash movie (it does not start with FWS, CWS or ZWS), and there is no HTML5 folder " +
                        folder + ": the browser player cannot show it");
            }
            return;
        }
        add(level::error, swf,
            "missing: the " + what + " movie is needed, as the HTML5 folder " + folder + " (with index.html) or as " +
                swf);
    }

    void check_movies() {
        check_movie(intro_movie_name, "intro");
        check_movie(game_movie_name, "game");
        check_content_version();
    }

    // The host reads content_version_no from the game movie once, when it loads it, and reports "7." and
    // it as its version. An HTML5 game that never sets it (neither its page nor a script the page loads
    // from its folder mentions it) is reported as "7." in the log and to GET_WRAPPER_VERSION.
    void check_content_version() {
        const std::string swf = root_ + game_movie_name;
        const std::string folder = swf.substr(0, swf.size() - 4);
        const std::string page = folder + path_separator + "index.html";
        if (!fs_.file_exists(page)) return;
        try {
            const std::string html = small_file(page);
            if (html.find("content_version_no") != std::string::npos) return;
            for (const std::string& script : page_scripts(html)) {
                std::string path = folder;
                path += path_separator;
                path += script;
                if (fs_.file_exists(path) && small_file(path).find("content_version_no") != std::string::npos) return;
            }
        } catch (const run_time_error&) {
            return;  // an unreadable page is no question of its version
        }
        add(level::warning, page,
            "the game movie never sets content_version_no (neither this page nor a script it loads from its folder "
            "names it): the log says LAUNCHING GAME (V7.) and GET_WRAPPER_VERSION answers \"7.\"; set it with "
            "movie.set(\"content_version_no\", N) at the top level of a script, before the page has loaded");
    }

    // A movie's page or script, read when it is of a size a page has ("" past 4 MiB).
    std::string small_file(const std::string& path) {
        constexpr std::int64_t largest = std::int64_t{4} << 20;
        return fs_.file_size(path) > largest ? std::string{} : fs_.read_file(path);
    }

    // The scripts a page loads from its own folder: the relative `src="..."` of its script elements.
    static std::vector<std::string> page_scripts(const std::string& html) {
        std::vector<std::string> scripts;
        for (std::size_t at = html.find("src=\""); at != std::string::npos && scripts.size() < 32;
             at = html.find("src=\"", at + 1)) {
            const std::size_t start = at + 5;
            const std::size_t end = html.find('"', start);
            if (end == std::string::npos) break;
            std::string name = html.substr(start, end - start);
            if (name.rfind("./", 0) == 0) name = name.substr(2);
            const bool relative = !name.empty() && name.front() != '/' && name.find(':') == std::string::npos &&
                                  name.find("..") == std::string::npos;
            if (relative) scripts.push_back(name);
        }
        return scripts;
    }

    void check_markers() {
        const std::string demo = root_ + demo_mode_file_name;
        if (fs_.file_exists(demo)) {
            add(level::warning, demo,
                "present: demo mode (the credit shows as one game's price, the bank as 0, the pointer stays "
                "visible); delete it on a cabinet that takes money");
        }
        const std::string autoplay = root_ + autoplay_file_name;
        if (fs_.file_exists(autoplay)) {
            add(level::warning, autoplay,
                "present: automatic play; its price_per_play and payout_% replace setup.ini's, without bounds; "
                "delete it on a cabinet that takes money");
        }
    }

    void check_setup_file() {
        const std::string setup = system_ + setup_file_name;
        if (!fs_.file_exists(setup)) {
            add(level::warning, setup,
                "missing: the host creates it at start with S1,40 and S2,50 (payout 40 per cent, 50 credits a game)");
            return;
        }
        std::string s1;
        std::string s2;
        try {
            s1 = read_record_field(fs_, setup, "S1", 1);
            s2 = read_record_field(fs_, setup, "S2", 1);
        } catch (const run_time_error& e) {
            add(level::error, setup, "cannot be read, the host stops at start: " + why(e));
            return;
        }
        const setup_values used = bounded_setup_values(leading_number(s1), leading_number(s2));
        check_setup_value(setup, "S1", s1, used.payout_replaced, number_to_text(used.payout_percent),
                          "the payout percentage, above 0 and at most " + number_to_text(highest_payout_percent));
        check_setup_value(setup, "S2", s2, used.price_replaced, number_to_text(used.price_per_play),
                          "the price per play in credits, " + number_to_text(lowest_price_per_play) + " to " +
                              number_to_text(highest_price_per_play));
    }

    void check_setup_value(const std::string& setup, const std::string& key, const std::string& field, bool replaced,
                           const std::string& used, const std::string& meaning) {
        const std::string fix = "; write " + key + ",<value> with " + meaning;
        bool number = !field.empty();
        if (number) {
            try {
                (void)strict_number(field);
            } catch (const run_time_error&) {
                number = false;
            }
        }
        if (field.empty()) {
            add(level::warning, setup, "no value for " + key + ": the host uses " + used + fix);
        } else if (!number) {
            add(level::warning, setup,
                key + "," + field + " is not a number: the host reads " + shown_number_text(leading_number(field)) +
                    (replaced ? " and uses " + used : ", and uses it") + fix);
        } else if (replaced) {
            add(level::warning, setup, key + "," + field + " is out of bounds: the host uses " + used + fix);
        }
    }

    void check_system_folder() {
        if (!fs_.folder_exists(system_)) {
            add(level::warning, shown_folder(system_),
                "missing: the host creates it at start, with setup.ini (S1,40 S2,50), logs/, a new log and a new "
                "meter file counting from zero; if this cabinet has played before, restore its system folder");
            need_creatable(system_, root_);
            return;
        }
        check_setup_file();
        const std::string logs = system_ + logs_folder_name;
        if (!fs_.folder_exists(logs)) {
            add(level::warning, shown_folder(logs),
                "missing: the host creates it at start, with a new log and a meter file (restored from "
                "system/meter.txt, or counting from zero)");
            need_creatable(logs, system_);
            return;
        }
        need_writable(logs, "the log, the meter file and their work file are written here");
        const std::string log = system_ + log_file_name;
        if (fs_.file_exists(log)) {
            need_writable(log, "every log line is appended to it");
        } else {
            add(level::note, log, "missing: the host starts a new log at start");
        }
        const std::string meter = system_ + meter_file_name;
        const std::string master = system_ + master_meter_file_name;
        if (fs_.file_exists(meter)) {
            need_writable(meter, "the meter file is rewritten at every game");
            check_meter_file(meter, "the meter file");
        } else if (fs_.file_exists(master)) {
            add(level::warning, meter, "missing: the host restores it at start from " + master);
            check_meter_file(master, "the master copy of the meter file");
        } else {
            add(level::warning, meter,
                "missing, and no master copy " + master +
                    ": the host starts a new meter file counting from zero; if this cabinet has played before, "
                    "restore its meter file");
        }
        const std::string work = logs + record_work_file_name;  // record_lines::save's work file
        if (fs_.file_exists(work)) need_writable(work, "the meter file's work file is rewritten at every game");
    }

    // Money the host could not account for when it last ended: the operator looks before the cabinet plays.
    void check_recall_money() {
        try {
            for (auto& warning : recall_money_warnings(fs_, system_))
                add(level::warning, recall_file_path(system_), std::move(warning));
        } catch (const run_time_error& e) {
            add(level::warning, recall_file_path(system_), "cannot be read: " + e.description());
        }
    }

    void check_variable_folder() {
        if (!fs_.folder_exists(variable_)) {
            add(level::warning, shown_folder(variable_),
                "missing: the host creates it at start with a dummy high-score table");
            need_creatable(variable_, root_);
            return;
        }
        need_writable(variable_, "the high-score table and its work file are written here");
        const std::string table = variable_ + hiscore_file_name;
        if (fs_.file_exists(table)) {
            need_writable(table, "the high-score table is rewritten when a score enters it");
            check_hiscore_table(table);
        } else {
            add(level::warning, table, "missing: the host creates a dummy high-score table at start");
        }
        const std::string work = variable_ + hiscore_work_file_name;  // add_to_hiscores' work file
        if (fs_.file_exists(work)) need_writable(work, "the high-score table's work file");
    }

    void check_credit_channel() {
        const platform_choice platform = find_platform(fs_, root_);
        const std::string flag = platform.flag_file.empty() ? root_ : root_ + path_separator + platform.flag_file;
        for (const std::string& ignored : platform.ignored) {
            add(level::warning, root_ + path_separator + ignored,
                "ignored: " + platform.flag_file +
                    " comes first and decides the platform; delete the flag file "
                    "that does not belong to this cabinet");
        }
        const std::string selected = platform.flag_file.empty() ? "no platform flag file" : platform.flag_file;
        if (platform.code == shell_platform_code) {
            check_shell(flag, selected);
        } else if (platform.code == socket_platform_code) {
            check_service(flag, selected);
        } else {
            check_library(flag, selected);
        }
    }

    void check_shell(const std::string& flag, const std::string& selected) {
        if (seams_.shell == nullptr) {
            add(level::error, flag, selected + ": the cabinet shell, but this host has no way to reach one");
            return;
        }
        try {
            // Attached and let go at once: the shell keeps no trace of a client that only looked.
            (void)seams_.shell->attach();
            add(level::note, flag, selected + ": the cabinet shell is running and attaches");
        } catch (const run_time_error& e) {
            add(level::error, flag,
                selected + ": the cabinet shell cannot be attached, the host stops at start: " + why(e) +
                    "; start the cabinet shell first");
        }
    }

    void check_service(const std::string& flag, const std::string& selected) {
        const std::string address = "127.0.0.1:" + std::to_string(options_.credit_port);
        // GET_CREDIT only reads the credit: asking it changes nothing in the service or the cabinet's money.
        // It goes out only to a listener the host would trust.
        std::string refusal;
        exchange_bounds bounds;
        bounds.vet_peer = [&](int local_port) {
            bool refused = false;
            std::string why =
                vet_credit_service(options_.credit_port, local_port, options_.credit_service_user, refused);
            if (refused) refusal = why;
            return why;
        };
        const exchange_outcome outcome = exchange_line(options_.credit_port, service_request("GET_CREDIT", ""), bounds);
        if (!refusal.empty()) {
            add(level::error, flag,
                selected + ": the host refuses the local credit service: " + refusal +
                    "; the first credit command stops the game. Stop that program, run the cabinet's credit "
                    "service as root or as the host's user, or name its user with --credit-service-user");
            return;
        }
        if (!outcome.answered()) {
            add(level::error, flag,
                selected + ": the local credit service at " + address + " does not answer (" + outcome.failure +
                    "); the first credit command stops the game. Start the cabinet's credit service (the cabinet "
                    "maker's; quizhost-credit-service is only a simulator for demos and tests), or give its port "
                    "with --credit-port");
            return;
        }
        try {
            const double credit = reply_as_number(parse_service_reply(outcome.reply));
            add(level::note, flag,
                selected + ": the local credit service at " + address + " answers GET_CREDIT (it only reads) with " +
                    shown_number_text(credit));
        } catch (const run_time_error& e) {
            add(level::error, flag,
                selected + ": the local credit service at " + address + " answers GET_CREDIT with \"" +
                    std::string(single_line(outcome.reply)) + "\", which the host cannot read: " + why(e));
        }
    }

    void check_library(const std::string& flag, const std::string& selected) {
        const std::string where = "the cabinet folder " + root_ + " first, then the system's library search path";
        try {
            const std::string file = seams_.probe_library(root_);
            add(level::note, flag,
                selected + ": the credit library loads" + (file.empty() ? "" : " from " + file) +
                    ", with cget, bget, cuse and badd");
        } catch (const run_time_error& e) {
            add(level::error, flag,
                selected + ": the credit library cannot be used, the first credit command stops the game: " + why(e) +
                    "; it is looked for in " + where);
        }
    }

    void check_data(const progress_report& progress) {
        const std::string data = shown_folder(root_ + data_folder_name);
        if (!fs_.folder_exists(data)) {
            add(level::error, data,
                "missing: the host does not create it, and the first question stops the game; copy the data folder "
                "(question files data_D_S.dat, weighted tables, instructions.txt) here");
            return;
        }
        content_findings content = check_data_folder(fs_, data, progress);
        for (content_finding& finding : content.list) findings_.list.push_back(std::move(finding));
    }

    // The lock is taken and let go at once: a host that starts meanwhile waits for nothing and loses nothing.
    void check_other_host() {
        std::string holder;
        try {
            if (try_lock_folder(root_, holder)) return;
        } catch (const run_time_error& e) {
            add(level::error, root_,
                "cannot be locked for a host (" + why(e) + "): the host ends at start with status 2");
            return;
        }
        other_host_ = holder.empty() ? "its lock is held" : holder;
        add(level::warning, root_,
            "another quizhost" + (holder.empty() ? std::string() : " (" + holder + ")") +
                " is serving this cabinet: a host started now ends at once with status 4; stop that one first");
    }

    void check_browser_port() {
        if (options_.http_port <= 0) return;
        const std::string address = "127.0.0.1:" + std::to_string(options_.http_port);
        try {
            // Listened on for a moment and let go: nothing can connect in between that would matter.
            (void)listen_on_loopback(options_.http_port);
        } catch (const run_time_error& e) {
            if (e.detail().find("in use") == std::string::npos) {
                add(level::error, address,
                    "the browser player's port cannot be listened on (" + why(e) +
                        "); give another port with --http-port");
                return;
            }
            const std::string by = other_host_.empty() ? "another program (ss -ltnp shows which)"
                                                       : "the quizhost that serves this cabinet (" + other_host_ + ")";
            add(level::error, address,
                "the browser player's port is in use, by " + by + "; stop it, or give another port with --http-port");
        }
    }

    file_system& fs_;
    const cabinet_check_seams& seams_;
    const cabinet_check_options& options_;
    std::string root_;
    std::string system_;
    std::string variable_;
    content_findings findings_;
    std::string other_host_;  // who holds the cabinet's lock, when another host does
};

}  // namespace

content_findings check_cabinet(const cabinet_check_seams& seams, const cabinet_check_options& options,
                               const progress_report& progress) {
    cabinet_checker checker(seams, options);
    return checker.run(progress);
}

}  // namespace quizhost
