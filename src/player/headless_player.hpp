// The headless movie player: plays a movie script against the host with no display, and prints every
// event as one transcript line on standard output.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>

#include "platform/clock.hpp"
#include "platform/draws.hpp"
#include "platform/headless/headless.hpp"
#include "player/cabinet.hpp"
#include "player/movie_script.hpp"

namespace quizhost {

struct host;

// The machine's clock until a script fixes it; from then on a fixed clock that the script moves on.
class script_clock final : public clock {
public:
    script_clock() : system_(make_system_clock()) {}
    date_time now() override { return fixed_ ? fixed_->now() : system_->now(); }
    void set(date_time at);
    // Moves the fixed clock on; a clock not yet fixed is first fixed at the current moment.
    void advance(long long seconds);

private:
    std::unique_ptr<clock> system_;
    std::optional<fixed_clock> fixed_;
};

// What the script's directives act on besides the host.
struct headless_stage {
    headless_movie& game_movie;
    headless_windows& windows;
    headless_display& display;
    queued_draws& draws;
    script_clock& clock;
};

// Plays `script` against `h`, whose seams include the stage's. The host starts at the first `fs`.
// Answers the exit status: the program's own when it ended, else 0 after tracing "end".
int play_movie_script(host& h, headless_stage& stage, const movie_script& script, std::FILE* err);

// Builds the host over the machine's seams and the headless ones, with events written to `out`, and
// plays the script. The host switches the script's own display, which its `screen` and `display`
// directives act on; given `real_screen`, it switches that one instead (traced), or none when that is
// null, and those directives have nothing to act on.
int run_headless(const cabinet_options& options, const movie_script& script, std::FILE* out, std::FILE* err,
                 std::optional<display*> real_screen = std::nullopt);

}  // namespace quizhost
