// What `quizhost dev` adds to the browser player while it runs: the developer's panel beside the stage (the
// trace as it happens, credit and bank, the meters and the recall after each game, coins), the mistakes the
// host can see in the movie's commands, and a movie reloaded when one of its files changes. A cabinet never
// has any of it: only `quizhost dev` makes a session.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/event_sink.hpp"

namespace quizhost {
struct host;
}

namespace quizhost::web {

class bridge;

// What the development cabinet gives the session.
struct developer_mode {
    std::string intro_folder;  // the movie folders served and watched
    std::string game_folder;
    // Adds coins to the stand-in credit system; answers the new credit. Throws std::exception on failure.
    std::function<double(double credits)> insert_coins;
    // The stand-in's credit and bank as it holds them now; nothing when it cannot be read.
    std::function<std::optional<std::pair<double, double>>()> credit_and_bank;
};

// The mistakes in a command's argument that the host reads without complaint: a number field that is empty
// or not a number, which the command takes as 0. One line each; none for a sound argument or a command
// that reads no number.
std::vector<std::string> argument_warnings(const std::string& command, const std::string& args);

// The warning for a game movie whose content_version_no the host read as "" when it loaded the game
// ("7." the version then); "" when `wrapper_version` has a content version.
std::string content_version_warning(const std::string& wrapper_version);

// The files of a movie folder and when each last changed, to tell which changed between two looks.
class folder_watch {
public:
    explicit folder_watch(std::string folder);
    // The files (relative to the folder) added, changed or removed since the last look.
    std::vector<std::string> changes();

private:
    struct stamp {
        std::int64_t time = 0;
        std::uintmax_t size = 0;
        bool operator==(const stamp&) const = default;
    };
    std::map<std::string, stamp> scan() const;
    std::string folder_;
    std::map<std::string, stamp> seen_;
};

class developer_session {
public:
    developer_session(host& h, bridge& link, developer_mode mode, event_sink* trace_out, std::FILE* err);
    ~developer_session();
    developer_session(const developer_session&) = delete;
    developer_session& operator=(const developer_session&) = delete;

    // The host's trace: to `trace_out` (when --trace) and to the panel.
    event_sink& trace();
    // Around each command the host takes from a movie of `form` ("intro" or "main").
    void before_command(const std::string& form, const std::string& command, const std::string& args, bool to_game);
    void after_command(const std::string& form, const std::string& command, bool to_game);
    // Between two commands (and now and then while none comes): reloads a movie whose files changed.
    void between_commands();
    // A message of the panel, taken inside one of the bridge's waits: never calls into the host.
    void panel_message(const nlohmann::json& message);

    // How often the movie folders are looked at.
    static constexpr std::chrono::milliseconds look_period{300};

private:
    class tee_sink;
    void to_panel(nlohmann::json message, bool keep = true);
    void warn(const std::string& text);
    void send_credit(bool always);
    void send_reports();
    void look_at_movies();

    host& h_;
    bridge& link_;
    developer_mode mode_;
    std::FILE* err_;
    std::unique_ptr<tee_sink> tee_;
    folder_watch intro_watch_;
    folder_watch game_watch_;
    std::vector<std::string> intro_changes_;
    std::vector<std::string> game_changes_;
    std::optional<std::pair<double, double>> last_credit_;
    bool game_version_checked_ = true;     // checked once after each load of the game
    std::vector<nlohmann::json> history_;  // resent to a panel that (re)loads
};

}  // namespace quizhost::web
