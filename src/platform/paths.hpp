// The path separator and the fixed names below the program folder that contain it. Paths are formed by
// plain concatenation with the folder, which has no trailing separator. The separator is the platform's
// own: "\\" on Windows cabinets, "/" elsewhere, so that every path the host shows (log lines, transcripts,
// reports) reads as the cabinet's system writes it.
#pragma once

namespace quizhost {

#ifdef _WIN32
#define QUIZHOST_SEP "\\"
#else
#define QUIZHOST_SEP "/"
#endif

inline constexpr char path_separator = QUIZHOST_SEP[0];
inline constexpr const char* intro_movie_name = QUIZHOST_SEP "intro.swf";
inline constexpr const char* game_movie_name = QUIZHOST_SEP "flash_game.swf";
inline constexpr const char* demo_mode_file_name = QUIZHOST_SEP "demo_mode.txt";
inline constexpr const char* autoplay_file_name = QUIZHOST_SEP "autoplay.txt";
inline constexpr const char* system_folder_name = QUIZHOST_SEP "system" QUIZHOST_SEP;
inline constexpr const char* variable_folder_name = QUIZHOST_SEP "variable" QUIZHOST_SEP;
inline constexpr const char* data_folder_name = QUIZHOST_SEP "data" QUIZHOST_SEP;
inline constexpr const char* logs_folder_name = "logs" QUIZHOST_SEP;  // below the system folder
inline constexpr const char* log_file_name = "logs" QUIZHOST_SEP "log.txt";
inline constexpr const char* meter_file_name = "logs" QUIZHOST_SEP "meter.txt";

}  // namespace quizhost
