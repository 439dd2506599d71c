// The start-up check and repair of the cabinet's folders and files.
#pragma once

namespace quizhost {

struct host;

// Creates missing folders, reads and bounds the setup values, starts the log, rebuilds a missing
// high-score table and meter file, and loads the cash pot.
void check_files(host& h);

}  // namespace quizhost
