#include "forms/runtime.hpp"

#include "forms/form_intro.hpp"
#include "forms/form_main.hpp"
#include "host.hpp"
#include "platform/event_sink.hpp"
#include "platform/movie_control.hpp"
#include "platform/window_system.hpp"

namespace quizhost {

void start_program(host& h) {
    form_intro_load(h);
    h.io.windows->show(form::intro);
}

void raise_fscommand(host& h, const std::string& command, const std::string& args) {
    // Only a loaded movie can raise commands: once the game movie is in, the intro movie is gone.
    const bool to_main = !h.io.game_movie->movie().empty();
    if (h.io.trace != nullptr) h.io.trace->event({"fs", form_name(to_main ? form::main : form::intro), command, args});
    if (to_main) {
        flash_game_FSCommand(h, command, args);
    } else {
        form_intro_fscommand(h, command, args);
    }
}

}  // namespace quizhost
