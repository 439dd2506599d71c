// The optional autoplay file "autoplay.txt" in the program folder.
#pragma once

namespace quizhost {

struct host;

// Reads the autoplay file, when there is one, into the price, the payout and the autoplay description.
void check_autoplay(host& h);

}  // namespace quizhost
