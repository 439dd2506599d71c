// The credit service running as a process of its own for a test, on a free port, stopped when the test
// ends.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace quizhost::testing {

class credit_service_process {
public:
    // Starts build/bin/quizhost-credit-service on a free port with `state_path` and any further arguments,
    // and waits until it listens. `launcher` comes before the program (setpriv and its arguments, to run it
    // as another user).
    explicit credit_service_process(const std::string& state_path, std::vector<std::string> more = {},
                                    const std::vector<std::string>& launcher = {});
    ~credit_service_process();
    credit_service_process(const credit_service_process&) = delete;
    credit_service_process& operator=(const credit_service_process&) = delete;

    int port() const { return port_; }

private:
#ifdef _WIN32
    void* process_ = nullptr;  // the child's process handle
#else
    pid_t pid_ = -1;
#endif
    int port_ = 0;
};

}  // namespace quizhost::testing
