// What the browser player serves, and nothing else: the stage page, the movie runtime, the two movie
// folders of the cabinet and the host's one-time links to the stage. The system, variable and data folders,
// the credit state and anything outside the program folder are never reachable, whatever the request
// target says.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quizhost::web {

enum class served_area {
    stage,      // "/": the stage page
    runtime,    // "/runtime/...": the movie runtime and the stage's script, compiled into the program
    intro,      // "/intro/...": the intro movie's folder
    game,       // "/flash_game/...": the game movie's folder
    swf,        // "/swf/intro.swf", "/swf/flash_game.swf": the cabinet's Flash movies as they are stored
    shim,       // "/shim/intro.swf", "/shim/flash_game.swf": the shim that plays and answers that movie
    ruffle,     // "/ruffle/...": the Flash player's files, installed beside the host
    one_time,   // "/open/TOKEN": a one-time link to the stage (see bridge::one_time_url)
    developer,  // "/dev/...": the developer's panel, served only by `quizhost dev`
};

struct served_target {
    served_area area;
    // The path inside the area, segments joined by "/"; "index.html" for a folder ("/intro/"); the token
    // of a one-time link.
    std::string relative;
};

// Reads an HTTP request target. Refused (nothing) unless it is an origin-form path below one of the four
// areas with only plain segments (or a one-time link: "/open/" and one plain segment, the token): no "." or
// ".." segments, no segment starting with "." (hidden files), no empty segment ("//"), no backslash, colon
// or control byte, no percent-encoded dot, slash, backslash or NUL, no malformed escape, no fragment. A
// query is allowed and ignored (movies use it to defeat caches).
std::optional<served_target> resolve_target(std::string_view target);

// The file a movie-folder target names, or nothing when it is not a regular file lying inside that movie
// folder of `program_folder` once every symbolic link is followed (a link leading out is refused, as is a
// movie folder that is itself a link to elsewhere).
std::optional<std::string> movie_file(const std::string& program_folder, const served_target& target);

// The same for a movie folder named outright (the developer's own, under `quizhost dev`): `target`'s file
// when it is a regular file lying inside `folder` once every link is followed.
std::optional<std::string> movie_file_in(const std::string& folder, const served_target& target);

// The Content-Type for a file name, by its extension.
std::string content_type(std::string_view name);

// The stage's URL for a movie path the host sets on a form's control: "DIR/intro.swf" and
// "DIR/flash_game.swf", DIR being the program folder, name the HTML5 movie folders beside them, "/intro/"
// and "/flash_game/", when those folders exist; otherwise, when the file is a Flash movie (it starts with
// FWS, CWS or ZWS), its shim's URL, "/shim/intro.swf" or "/shim/flash_game.swf". The empty path is "" (unload). Nothing
// for any other path: the player cannot show it.
std::optional<std::string> movie_url(const std::string& program_folder, const std::string& movie_path);

// Whether a URL of movie_url is a Flash movie's (its shim's).
bool is_flash_url(std::string_view url);

// The cabinet's Flash movie a "/swf/" or "/shim/" target names ("DIR/intro.swf"), or nothing for any other
// name.
std::optional<std::string> flash_movie_file(const std::string& program_folder, const served_target& target);

// The file a "/ruffle/" target names in `ruffle_folder`: only the player's own files (its scripts, its
// WebAssembly and its licences), never a link leading out.
std::optional<std::string> ruffle_file(const std::string& ruffle_folder, const served_target& target);

// Where the Flash player's files are for a host whose executable lies in `executable_folder`: its
// "ruffle" folder (Windows, a build tree), else "../share/quizhost/ruffle" (the Debian package); "" when
// neither holds ruffle.js.
std::string find_ruffle_folder(const std::string& executable_folder);

}  // namespace quizhost::web
