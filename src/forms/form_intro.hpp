// The intro form: the program's first window. It makes sure of the display mode, plays the intro movie
// and, when that movie says it has finished, opens the main form.
#pragma once

#include <string>

namespace quizhost {

struct host;

// The intro form's load: display mode, intro movie, demo mode, and outside demo mode the pointer hidden
// and the window topmost. It has no error path: a failure here ends the program unhandled.
void form_intro_load(host& h);

// A command from the intro movie. Only "INTRO_END" is understood (the main form is shown, which loads
// it, and the intro form is hidden); anything else is ignored. The intro movie is never paused and
// gets no answers.
void form_intro_fscommand(host& h, const std::string& command, const std::string& args);

}  // namespace quizhost
