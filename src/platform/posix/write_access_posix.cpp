#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/write_access.hpp"

namespace quizhost {

// The effective ids decide, as they do for the writes themselves (access(2) alone asks for the real ones).
// A folder must also be searchable for its files to be created or renamed.
bool may_write(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    const int mode = S_ISDIR(st.st_mode) ? W_OK | X_OK : W_OK;
    return ::faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0;
}

}  // namespace quizhost
