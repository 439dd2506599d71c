// The optional autoplay file "autoplay.txt" in the program folder. When it is there, its price and payout
// replace the setup values for the whole run, and the movie gets its five values as the autoplay
// description.
#include "meters/autoplay_defs.hpp"

#include <fmt/format.h>

#include "basic/numbers.hpp"
#include "definitions.hpp"
#include "host.hpp"
#include "platform/file_system.hpp"
#include "platform/paths.hpp"
#include "records/error_log.hpp"
#include "records/text_records.hpp"

namespace quizhost {

void check_autoplay(host& h) {
    h.money.autoplay_info.clear();
    const std::string path = h.program_folder + autoplay_file_name;
    if (!file_exists(*h.io.files, path)) return;

    // Values are taken as they stand, without the setup file's bounds: autoplay is for testing and
    // demonstration, where a price of 0 is wanted.
    const record_lines settings = record_lines::load(*h.io.files, path);
    auto value = [&settings](std::string_view key) { return leading_number(settings.read_field(key, 1)); };
    const double price = value("price_per_play");
    const std::int32_t rounded_price = round_to_int32(price);  // an absurd price fails before anything changes
    h.money.payout_percent = static_cast<float>(value("payout_%"));
    h.money.price_per_play = rounded_price;

    h.money.autoplay_info = number_to_text(value("no_of_games")) + "," + number_to_text(price) + "," +
                            number_to_text(value("payout_%")) + "," + number_to_text(value("collect_first_prize")) +
                            "," + number_to_text(value("manual_play"));

    // The run's money settings no longer come from the setup file; the log shows what the cabinet ran
    // under.
    write_error(
        h, fmt::format("AUTOPLAY - price per play {}, payout {}%", h.money.price_per_play, h.money.payout_percent));
}

}  // namespace quizhost
