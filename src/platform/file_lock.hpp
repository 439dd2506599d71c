// An advisory lock on a lock file, so that processes sharing a state file (the credit service and its
// coin slot, for one) take turns on it and no update is lost between a read and the replace that follows.
#pragma once

#include <memory>
#include <string>

namespace quizhost {

class file_lock {
public:
    virtual ~file_lock() = default;  // releases the lock
};

// Blocks until the lock on `path` is free and takes it. The lock file is created when missing and left
// behind. run_time_error 75 (76 for a missing folder) when it cannot be opened.
std::unique_ptr<file_lock> lock_file(const std::string& path);

}  // namespace quizhost
