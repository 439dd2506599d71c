// The start-up check and repair of the cabinet's folders and files. Start-up repairs rather than
// refuses: whatever is missing is created with its initial contents, and each repair after the log has
// started is logged just before it is made, so a failed repair still shows what was being attempted.
#include "forms/folder_check.hpp"

#include <cmath>

#include "basic/numbers.hpp"
#include "definitions.hpp"
#include "host.hpp"
#include "meters/meter_file.hpp"
#include "meters/setup_file_defs.hpp"
#include "platform/file_system.hpp"
#include "records/error_log.hpp"
#include "records/text_records.hpp"
#include "scores/hiscores.hpp"

namespace quizhost {
namespace {

void create_missing_folder(file_system& fs, const std::string& path) {
    if (!fs.folder_exists(path)) fs.create_folder(path);
}

// The price as a whole number of credits. A value too large for a 32-bit number is as unusable as any
// other price out of bounds, so it too is replaced rather than stopping the cabinet at start-up.
std::int32_t whole_price(double price) {
    if (!(std::fabs(price) < 2e9)) return 0;
    return round_to_int32(price);
}

// The two money settings, bounded in memory only: the operator's file is never rewritten.
void read_setup_values(host& h) {
    file_system& fs = *h.io.files;
    const std::string& path = h.start.setup_file_path;
    if (!file_exists(fs, path)) {
        create_setup_file(h);
        h.money.payout_percent = 40;
        h.money.price_per_play = default_price_per_play;
        return;
    }
    const setup_values values =
        bound_setup_values(read_record_field(fs, path, "S1", 1), read_record_field(fs, path, "S2", 1));
    h.money.payout_percent = values.payout_percent;
    h.money.price_per_play = values.price_per_play;
}

// A missing meter file comes back from the master copy in the system folder when there is one, so the
// audit counts survive the loss of the working file; otherwise a new file starts from zero.
void restore_meter_file(host& h) {
    file_system& fs = *h.io.files;
    const std::string path = h.meter_file();
    if (file_exists(fs, path)) return;  // an existing meter file is never inspected or changed here
    const std::string master = h.start.system_path + master_meter_file_name;
    if (file_exists(fs, master)) {
        write_error(h, "No meter file - restoring from System folder");
        copy_file_atomically(fs, master, path);
    } else {
        write_error(h, "Creating Meter File");
        replace_file(fs, path, lines_to_bytes(new_meter_file_lines(h)));
    }
}

}  // namespace

setup_values bound_setup_values(const std::string& s1_field, const std::string& s2_field) {
    setup_values values;
    values.payout_percent = static_cast<float>(leading_number(s1_field));
    values.price_per_play = whole_price(leading_number(s2_field));
    if (!(values.payout_percent > 0 && values.payout_percent <= highest_payout_percent)) {
        values.payout_percent = highest_payout_percent;
        values.payout_replaced = true;
    }
    if (values.price_per_play < lowest_price_per_play || values.price_per_play > highest_price_per_play) {
        values.price_per_play = default_price_per_play;
        values.price_replaced = true;
    }
    return values;
}

void check_files(host& h) {
    file_system& fs = *h.io.files;
    create_missing_folder(fs, h.start.system_path);
    read_setup_values(h);
    create_missing_folder(fs, h.start.system_path + logs_folder_name);
    start_log(h);

    if (!fs.folder_exists(h.start.variable_path)) {
        write_error(h, "Creating variable folder");
        fs.create_folder(h.start.variable_path);
    }
    if (!file_exists(fs, h.hiscore_file())) {
        write_error(h, "Creating Dummy High scores");
        create_dummy_hiscores(h);
    }
    restore_meter_file(h);
    h.money.cashpot = round_to_int32(get_cashpot(h));
}

}  // namespace quizhost
