// The movie control seam: the player control on each form (the Flash control of old cabinets, an HTML5
// stage today). The host only loads and unloads movies, moves the playhead and reads and writes variables;
// commands from the movie arrive through the player, which hands them to raise_fscommand (forms/runtime.hpp).
#pragma once

#include <string>

namespace quizhost {

enum class form { intro, main };
const char* form_name(form f);  // "intro" or "main", as the transcript writes it

class movie_control {
public:
    virtual ~movie_control() = default;
    // The Movie property: a file path; the empty path unloads the movie.
    virtual void set_movie(const std::string& path) = 0;
    virtual std::string movie() const = 0;
    virtual void rewind() = 0;
    virtual void play() = 0;
    virtual void stop() = 0;
    virtual void set_variable(const std::string& name, const std::string& value) = 0;
    // "" for a variable the movie does not hold.
    virtual std::string get_variable(const std::string& name) = 0;
};

}  // namespace quizhost
