// The one context of a running host: the platform seams it talks through and the program-wide values,
// grouped by the subsystem that owns them. Procedures take it first; there is no global state, so a test
// builds a fresh host on a temporary folder.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "basic/date_time.hpp"
#include "definitions.hpp"
#include "platform/paths.hpp"
#include "platform/seams.hpp"

namespace quizhost {

class shell_object;
class game_recall;

struct host {
    seams io;

    // Where the cabinet lives and how to reach the local credit service (from the command line).
    std::string program_folder;  // no trailing separator
    int credit_port = default_credit_port;
    // A user besides root and the host's own that may run the local credit service ("" for none).
    std::string credit_service_user;

    // Start-up (form_intro, form_main load).
    struct start_values {
        bool demo_mode = false;
        std::string system_path;      // program folder + "/system/"
        std::string variable_path;    // program folder + "/variable/"
        std::string data_path;        // program folder + "/data/"
        std::string setup_file_path;  // system_path + "setup.ini"
        std::string wrapper_version;  // "7", then "7." + the movie's content version
    } start;

    // Display mode (screen_stuff).
    struct display_values {
        bool resolution_changed = false;
        std::int32_t saved_screen_width = 0;
        std::int32_t saved_screen_height = 0;
    } screen;

    // Credit link (platform detection).
    struct credit_values {
        std::int16_t platform_code = 2;
        std::shared_ptr<shell_object> client_shell;
        std::int32_t stake_index = 0;
        // What the latest "USE_CREDIT" took the price from, for the game recall: "credit", "bank", or
        // "none" when the service's credit was short and nothing was taken.
        std::string last_price_source;
        // The local credit service's latest reply line, without its line end, for the game recall.
        std::string last_service_reply;
    } credit;

    // Meters and money (folder check, meter file, setup and autoplay).
    struct money_values {
        float payout_percent = 0;
        std::int32_t price_per_play = 0;
        std::int32_t cashpot = 0;
        std::int16_t game_mode = 0;
        std::int32_t reflex_meter = 0;
        // Time of day of the latest "START_GAME"; none since the program started.
        std::optional<date_time> game_start_time;
        std::string autoplay_info;
    } money;

    // Game content (weighted questions, win plans, lives).
    struct content_values {
        std::vector<std::string> question_tables;
        std::int16_t no_of_question_tables = 0;
        std::int16_t no_of_questions = 0;
        std::int16_t no_of_difficulties = 0;
        std::vector<std::string> win_plans;
        std::vector<std::string> lives_table;
        // The latest question drawn, for the game recall: where it came from and its enciphered line
        // (never its plain text).
        struct drawn_question {
            int difficulty = 0;
            int set = 0;
            long line = 0;
            std::string enciphered;
        } last_question;
    } content;

    // The error log (records/error_log): whether its last line may lack its CR LF (an append that failed
    // halfway, a power cut), so that the next entry starts on a line of its own; none until the log is
    // first written to.
    std::optional<bool> log_line_open;

    // What each game did, kept from the commands as they are handled (recall/game_recall.hpp); made at
    // the first command.
    std::shared_ptr<game_recall> recall;

    // Paths of the files the host keeps.
    std::string log_file() const { return start.system_path + log_file_name; }
    std::string meter_file() const { return start.system_path + meter_file_name; }
    std::string hiscore_file() const { return start.variable_path + hiscore_file_name; }
};

}  // namespace quizhost
