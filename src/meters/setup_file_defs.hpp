// The setup file "setup.ini" in the system folder.
#pragma once

namespace quizhost {

struct host;

// Writes the setup file with "S1,40" and "S2,50", replacing any old one.
void create_setup_file(host& h);

}  // namespace quizhost
