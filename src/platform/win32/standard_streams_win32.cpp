#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/standard_streams.hpp"

namespace quizhost {

void use_binary_standard_streams() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

// Windows raises no signal for a broken pipe: the write fails.
void ignore_broken_pipes() {}

}  // namespace quizhost
