// The seams of a host: one per interface it talks to the outside world through. In the platform layer, so
// that whatever builds the seams (the headless bundle among them) can fill them without the host's context.
#pragma once

namespace quizhost {

class file_system;
class clock;
class draws;
class movie_control;
class window_system;
class display;
class credit_library;
class client_shell;
class event_sink;

// The outside world, one seam per interface. Owned by whoever builds the host (the quizhost program, a
// test fixture); the host only borrows them.
struct seams {
    file_system* files = nullptr;
    quizhost::clock* clock = nullptr;
    quizhost::draws* draws = nullptr;
    movie_control* intro_movie = nullptr;  // the intro form's control
    movie_control* game_movie = nullptr;   // the main form's control
    window_system* windows = nullptr;
    quizhost::display* screen = nullptr;
    credit_library* library = nullptr;
    client_shell* shell = nullptr;
    event_sink* trace = nullptr;  // credit calls and other traced events
};

}  // namespace quizhost
