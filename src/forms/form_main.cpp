#include "forms/form_main.hpp"

#include <array>
#include <exception>

#include "basic/numbers.hpp"
#include "basic/text.hpp"
#include "content/lives.hpp"
#include "content/weighted_questions.hpp"
#include "content/win_plans.hpp"
#include "credit/credit_link.hpp"
#include "forms/folder_check.hpp"
#include "forms/screen_stuff.hpp"
#include "forms/window_functions.hpp"
#include "host.hpp"
#include "meters/answer_settlement.hpp"
#include "meters/autoplay_defs.hpp"
#include "meters/meter_file.hpp"
#include "platform/clock.hpp"
#include "platform/movie_control.hpp"
#include "platform/paths.hpp"
#include "platform/window_system.hpp"
#include "recall/game_recall.hpp"
#include "records/error_log.hpp"
#include "records/text_records.hpp"
#include "scores/hiscores.hpp"

namespace quizhost {

// ---------------------------------------------------------------------------------------------------
// Start-up

void form_main_load(host& h) {
    h.start.wrapper_version = wrapper_major_version;
    try {
        if (!h.start.demo_mode) set_topmost(h, form::main, true);

        h.start.system_path = h.program_folder + system_folder_name;
        h.start.variable_path = h.program_folder + variable_folder_name;
        h.start.data_path = h.program_folder + data_folder_name;
        h.start.setup_file_path = h.start.system_path + setup_file_name;

        check_platform(h);
        reset_flash_game(h);

        const std::string content_version = h.io.game_movie->get_variable("content_version_no");
        h.start.wrapper_version += "." + content_version;
        // The version comes from the movie; write_error keeps it from starting a line of its own.
        write_error(h, "LAUNCHING GAME (V" + h.start.wrapper_version + ")");

        init_lives(h);
        init_questions(h);
        check_files(h);
        // Autoplay settings override the setup file's price and payout, so they are read after it.
        check_autoplay(h);
        // Whatever money the last run left in flight is closed and logged before the first game command.
        recall_account_for_last_run(h);

        h.io.windows->set_caption(form::main, main_caption);
        init_winplans(h);

        // The intro movie is released, so it can never send a second "INTRO_END".
        h.io.intro_movie->set_movie("");
        h.io.windows->hide(form::intro);
    } catch (const unhandled_error&) {
        throw;
    } catch (const run_time_error& error) {
        error_handler(h, error);
    }
}

// ---------------------------------------------------------------------------------------------------
// Movie life, fatal errors and shutdown

void reset_flash_game(host& h) {
    movie_control& game = *h.io.game_movie;
    game.set_movie(h.program_folder + game_movie_name);
    game.rewind();
    game.play();
}

void set_processing_flag(host& h) { h.io.game_movie->stop(); }

void clear_processing_flag(host& h) { h.io.game_movie->play(); }

void error_handler(host& h, const run_time_error& error) {
    // The full stop and two blanks come even after a description that ends with its own full stop.
    const std::string text =
        "ERROR! " + std::to_string(error.number()) + " - " + error.description() + ".  Game Terminated.";
    try {
        h.io.game_movie->stop();
        // Unloaded, the movie can raise no further commands.
        h.io.game_movie->set_movie("");
        write_error(h, text);
    } catch (const unhandled_error&) {
        throw;
    } catch (const run_time_error& failure) {
        throw unhandled_error(failure);
    }
    try {
        unload_wrapper(h, exit_fatal);
    } catch (const program_exit& exit) {
        // The player tells the operator beside the log line which file or address failed.
        throw fatal_exit{{exit.status}, single_line(text), error.detail()};
    }
}

void unload_wrapper(host& h, int status) {
    // A goodbye that fails (the credit service is down) still ends the program as an unhandled error, but
    // only after the movie is unloaded and the display mode restored: the cabinet must not be left at 800x600.
    // Unhandled, because the shutdown has run: a command handler that took it to error_handler would say
    // goodbye, restore the display and ask the operator a second time.
    std::exception_ptr goodbye_failure;
    try {
        channel_goodbye(h);
    } catch (const run_time_error& failure) {
        goodbye_failure = std::make_exception_ptr(unhandled_error(failure));
    }
    try {
        h.io.game_movie->set_movie("");
        if (h.screen.resolution_changed) {
            // Whether the old mode came back is not examined: nothing more can be done about it on the way out.
            (void)change_resolution(h, h.screen.saved_screen_width, h.screen.saved_screen_height);
        }
    } catch (const run_time_error& failure) {
        throw unhandled_error(failure);
    }
    if (goodbye_failure) std::rethrow_exception(goodbye_failure);
    throw program_exit{status};
}

// ---------------------------------------------------------------------------------------------------
// The command handler

void flash_game_FSCommand(host& h, const std::string& command, const std::string& args) {
    try {
        set_processing_flag(h);
        if (const command_row* row = find_command(command)) {
            // The game recall watches every row; it never changes what the row does or answers.
            std::string answer = record_command(h, command, args, [&] { return row->handler(h, args); });
            // Set once, after the operation returned: a failed operation leaves the variable alone.
            if (row->answer != nullptr) h.io.game_movie->set_variable(row->answer, answer);
        }
        clear_processing_flag(h);
    } catch (const unhandled_error&) {
        throw;  // from a shutdown that already ran (CLOSE_ALL's, or a nested command's)
    } catch (const run_time_error& error) {
        error_handler(h, error);
    }
}

namespace {

std::string nothing(host&, const std::string&) { return {}; }

// Values the host keeps nowhere: the movie receives the empty string.
std::string unknown_value(host&, const std::string&) { return {}; }

std::string get_instructions_row(host& h, const std::string&) { return get_instructions(h); }

std::string get_game_mode_row(host& h, const std::string&) { return number_to_text(h.money.game_mode); }

std::string answered_row(host& h, const std::string& args) {
    do_when_answered(h, args);
    return {};
}

std::string get_lives_row(host& h, const std::string&) { return number_to_text(get_lives(h)); }

std::string get_autoplay_info_row(host& h, const std::string&) { return h.money.autoplay_info; }

std::string get_winplan_row(host& h, const std::string&) { return get_win_plan(h); }

std::string reset_cashpot_row(host& h, const std::string&) {
    reset_cashpot(h);
    return {};
}

std::string get_bank_row(host& h, const std::string&) { return number_to_text(shown_bank(h)); }

std::string add_to_bank_row(host& h, const std::string& args) {
    const double amount = leading_number(args);
    channel_add_to_bank(h, amount, args);
    set_reflex_meter(h, amount);
    return {};
}

std::string reset_flash_game_row(host& h, const std::string&) {
    reset_flash_game(h);
    return {};
}

std::string get_score_record_row(host& h, const std::string& args) {
    return read_record(*h.io.files, h.hiscore_file(), "Score," + std::string(trim_spaces(args)));
}

std::string get_wrapper_version_row(host& h, const std::string&) { return h.start.wrapper_version; }

std::string get_credit_row(host& h, const std::string&) { return number_to_text(shown_credit(h)); }

std::string start_game_row(host& h, const std::string&) {
    start_game(h);
    return {};
}

std::string free_game_row(host& h, const std::string&) {
    channel_free_game(h);
    return {};
}

std::string use_credit_row(host& h, const std::string&) {
    channel_use_credit(h);
    return {};
}

std::string get_credit_to_play_row(host& h, const std::string&) { return number_to_text(h.money.price_per_play); }

std::string get_cashpot_row(host& h, const std::string&) { return number_to_text(load_cashpot(h)); }

std::string get_top_local_score_row(host& h, const std::string&) { return get_top_local_score(h); }

std::string msgbox_row(host& h, const std::string& args) {
    // Modal: the host, and the paused movie with it, waits until the box is dismissed.
    (void)h.io.windows->message_box(application_title, args, mb_ok);
    return {};
}

std::string get_hiscore_position_row(host& h, const std::string& args) {
    return number_to_text(where_in_hiscores(h, leading_number(args)));
}

std::string get_total_games_row(host& h, const std::string&) { return number_to_text(get_games_played(h)); }

std::string close_all_row(host& h, const std::string&) { unload_wrapper(h, exit_closed); }

std::string get_question_row(host& h, const std::string& args) { return get_question(h, args); }

std::string update_meters_row(host& h, const std::string& args) {
    update_meters_v2(h, args);
    return {};
}

std::string get_last_hiscore_update_row(host& h, const std::string&) { return get_last_hiscore_update(h); }

std::string to_log_row(host& h, const std::string& args) {
    // The movie's text is one bounded log entry: write_error keeps a CR or LF in it from forging further
    // ones, movie_log_text a host's own entry from being forged in it.
    write_error(h, movie_log_text(args));
    return {};
}

std::string read_hiscores_row(host& h, const std::string&) {
    return read_numbered_records(*h.io.files, h.hiscore_file(), "Score");
}

std::string add_to_hiscores_row(host& h, const std::string& args) { return number_to_text(add_to_hiscores(h, args)); }

std::string get_show_local_scores_row(host&, const std::string&) { return "1"; }

constexpr command_row commands[] = {
    {"GET_INSTRUCTIONS", get_instructions_row, "vb_instructions"},
    {"GET_GAME_MODE", get_game_mode_row, "vb_game_mode"},
    {"SHAKE", nothing, nullptr},
    {"ANSWERED", answered_row, nullptr},
    {"GET_LIVES", get_lives_row, "vb_lives"},
    {"GET_AUTOPLAY_INFO", get_autoplay_info_row, "vb_autoplay_info"},
    {"GET_WINPLAN", get_winplan_row, "vb_win_plan"},
    {"GET_REFLEX_MODE", unknown_value, "vb_reflex_mode"},
    {"RESET_CASHPOT", reset_cashpot_row, nullptr},
    {"GET_BANK", get_bank_row, "vb_bank"},
    {"ADD_TO_BANK", add_to_bank_row, nullptr},
    {"RESET_FLASH_GAME", reset_flash_game_row, nullptr},
    {"GET_SCORE_RECORD", get_score_record_row, "vb_score_record"},
    {"GET_MANAGER_PIN", unknown_value, "vb_manager_pin"},
    {"GET_WRAPPER_VERSION", get_wrapper_version_row, "vb_wrapper_version"},
    {"GET_CREDIT", get_credit_row, "vb_credit"},
    {"START_GAME", start_game_row, nullptr},
    {"FREE_GAME", free_game_row, nullptr},
    {"USE_CREDIT", use_credit_row, nullptr},
    {"GET_CREDIT_TO_PLAY", get_credit_to_play_row, "vb_credit_to_play"},
    {"GET_CASHPOT", get_cashpot_row, "vb_cashpot"},
    {"GET_TOP_LOCAL_SCORE", get_top_local_score_row, "vb_top_local_score"},
    {"MSGBOX", msgbox_row, nullptr},
    {"GET_HISCORE_POSITION", get_hiscore_position_row, "vb_hiscore_position"},
    {"GET_TOTAL_GAMES", get_total_games_row, "vb_total_games_played"},
    {"CLOSE_ALL", close_all_row, nullptr},
    {"GET_QUESTION", get_question_row, "vb_question"},
    {"UPDATE_METERS", update_meters_row, nullptr},
    {"GET_LAST_HISCORE_UPDATE", get_last_hiscore_update_row, "vb_last_hiscore_update"},
    {"TO_LOG", to_log_row, nullptr},
    {"READ_HISCORES", read_hiscores_row, "vb_hiscores"},
    {"ADD_TO_HISCORES", add_to_hiscores_row, "vb_score_rank"},
    {"GET_GAME_NAME", unknown_value, "vb_game_name"},
    {"GET_HOUSE_NAME", unknown_value, "vb_house_name"},
    {"GET_TOWN_NAME", unknown_value, "vb_town_name"},
    {"GET_SHOW_LOCAL_SCORES", get_show_local_scores_row, "vb_show_local_scores"},
    {"GET_GAME_ACTIVE", unknown_value, "vb_game_active"},
};

}  // namespace

std::span<const command_row> command_table() { return commands; }

const command_row* find_command(const std::string& command) {
    for (const command_row& row : commands) {
        if (command == row.name) return &row;
    }
    return nullptr;
}

}  // namespace quizhost
