// Whether this process may write a path, asked of the system's permissions without writing: the
// operator's preflight tells a read-only folder before the first coin rather than at the first write.
#pragma once

#include <string>

namespace quizhost {

// A file: whether it may be changed in place. A folder: whether files may be created, renamed and deleted
// in it. A missing path cannot be written.
bool may_write(const std::string& path);

}  // namespace quizhost
