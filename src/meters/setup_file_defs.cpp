// The setup file "setup.ini" in the system folder: the payout percentage ("S1") and the price of one game
// ("S2").
#include "meters/setup_file_defs.hpp"

#include "host.hpp"
#include "platform/file_system.hpp"
#include "records/text_records.hpp"

namespace quizhost {

void create_setup_file(host& h) {
    replace_file(*h.io.files, h.start.setup_file_path, lines_to_bytes({"S1,40", "S2,50"}));
}

}  // namespace quizhost
