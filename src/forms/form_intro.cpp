#include "forms/form_intro.hpp"

#include "definitions.hpp"
#include "forms/form_main.hpp"
#include "forms/screen_stuff.hpp"
#include "forms/window_functions.hpp"
#include "host.hpp"
#include "platform/movie_control.hpp"
#include "platform/paths.hpp"
#include "platform/window_system.hpp"
#include "records/text_records.hpp"

namespace quizhost {

void form_intro_load(host& h) {
    set_resolution(h);

    movie_control& intro = *h.io.intro_movie;
    intro.set_movie(h.program_folder + intro_movie_name);
    intro.rewind();
    intro.play();

    // Only the marker's presence counts; its content is never read.
    h.start.demo_mode = file_exists(*h.io.files, h.program_folder + demo_mode_file_name);

    // A demo cabinet stands among other windows with the pointer in use; a paying cabinet owns the
    // screen. The pointer is never shown again by the host.
    if (!h.start.demo_mode) {
        h.io.windows->show_cursor(false);
        set_topmost(h, form::intro, true);
    }
}

void form_intro_fscommand(host& h, const std::string& command, const std::string&) {
    if (command != "INTRO_END") return;
    // The first showing of the main form loads it: its load runs to its end before the form appears.
    form_main_load(h);
    h.io.windows->show(form::main);
    h.io.windows->hide(form::intro);
}

}  // namespace quizhost
