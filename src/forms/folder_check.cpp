// The start-up check and repair of the cabinet's folders and files. Start-up repairs rather than
// refuses: whatever is missing is created with its initial contents, and each repair after the log has
// started is logged just before it is made, so a failed repair still shows what was being attempted.
#include "forms/folder_check.hpp"

#include <cmath>

#include "basic/numbers.hpp"
#include "definitions.hpp"
#include "host.hpp"
#include "meters/meter_file.hpp"
#include "meters/meter_report.hpp"
#include "meters/setup_file_defs.hpp"
#include "platform/file_system.hpp"
#include "platform/paths.hpp"
#include "records/error_log.hpp"
#include "records/text_records.hpp"
#include "scores/hiscores.hpp"

namespace quizhost {
namespace {

void create_missing_folder(file_system& fs, const std::string& path) {
    if (!fs.folder_exists(path)) fs.create_folder(path);
}

// The two money settings, bounded in memory only: the operator's file is never rewritten.
void read_setup_values(host& h) {
    file_system& fs = *h.io.files;
    const std::string& path = h.start.setup_file_path;
    if (!file_exists(fs, path)) {
        create_setup_file(h);
        h.money.payout_percent = default_setup_values.payout_percent;
        h.money.price_per_play = default_setup_values.price_per_play;
        return;
    }
    const setup_values values = bounded_setup_values(leading_number(read_record_field(fs, path, "S1", 1)),
                                                     leading_number(read_record_field(fs, path, "S2", 1)));
    h.money.payout_percent = values.payout_percent;
    h.money.price_per_play = values.price_per_play;
}

// A missing meter file comes back from the master copy in the system folder when there is one, so the
// audit counts survive the loss of the working file; otherwise a new file starts from zero. An existing
// meter file is never changed here. True when the file was made anew, from the loaded tables.
bool restore_meter_file(host& h) {
    file_system& fs = *h.io.files;
    const std::string path = h.meter_file();
    if (file_exists(fs, path)) return false;
    const std::string master = h.start.system_path + master_meter_file_name;
    if (file_exists(fs, master)) {
        write_error(h, "No meter file - restoring from System folder");
        copy_file_atomically(fs, master, path);
        return false;
    }
    write_error(h, "Creating Meter File");
    replace_file(fs, path, lines_to_bytes(new_meter_file_lines(h)));
    return true;
}

// A meter file the host cannot read as its records (empty, garbage, a key or row missing, a value that is
// not a number) is never played on: every game would be paid and counted nowhere, or wipe out the count
// it adds to. The start-up ends here, through the fatal path, with the file and its line in the log.
void refuse_unplayable_meter_file(host& h) {
    const std::string path = h.meter_file();
    const std::string bytes = read_bounded_file(*h.io.files, path);
    const std::string why = unplayable_meter_file(bytes, read_meter_report(bytes));
    if (why.empty()) return;
    const std::string detail = path + ": " + why;
    write_error(h, "METER FILE DAMAGED - " + detail);
    throw run_time_error(path_file_access_error, error_description(path_file_access_error),
                         detail +
                             "; restore it from system/meter.txt or a backup (quizhost meters names every damaged "
                             "line, quizhost recall shows the games played since)");
}

}  // namespace

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
    } else {
        // Too large to read, it would end the first game that enters a score, after its price was taken.
        check_file_size(fs, h.hiscore_file(), record_file_size_limit);
    }
    if (!restore_meter_file(h)) refuse_unplayable_meter_file(h);
    h.money.cashpot = round_to_int32(get_cashpot(h));
}

}  // namespace quizhost
