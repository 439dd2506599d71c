// What the host keeps from every other user of the machine: random bytes from the operating system's own
// generator (for secrets; the game's draws have their own seam in draws.hpp), and small files that only
// the host's own user may read, kept outside every cabinet folder (nothing there is audited data).
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace quizhost {

// The operating system could not give random bytes, or a private file could not be written.
class private_files_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Fills `bytes` with `count` bytes from the system's generator (getrandom or /dev/urandom; RtlGenRandom on
// Windows). Throws private_files_error when the system refuses: a secret never falls back to a weaker source.
void fill_system_random(unsigned char* bytes, std::size_t count);

// The folder for this user's private run-time files, created when missing: $XDG_RUNTIME_DIR/quizhost, else
// ${XDG_STATE_HOME:-$HOME/.local/state}/quizhost (mode 0700, owned by this user); %LOCALAPPDATA%\quizhost
// on Windows. Throws private_files_error when there is none or it is not the user's own.
std::string private_folder();

// Writes `text` whole to `path` (replacing it), readable and writable by this user only (mode 0600; on
// Windows the per-user folder's access list). Throws private_files_error.
void write_private_file(const std::string& path, const std::string& text);

}  // namespace quizhost
