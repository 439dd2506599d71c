// The processes the host starts and owns (the kiosk browser): started, watched and ended through this one
// seam, so the supervision above it is the same on every system. Whatever way the host ends, the process
// and everything it started end with it: POSIX puts it in a process group of its own and asks the kernel
// to kill it when the host dies; Windows puts it in a job object that ends with the host's last handle.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quizhost {

// A process could not be started (no such program, not executable, out of resources).
class process_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class child_process {
public:
    virtual ~child_process() = default;  // ends the process as end() does
    // How the process ended ("exit status 0", "killed by signal 9"), once it has; nothing while it runs.
    virtual std::optional<std::string> ended() = 0;
    // Ends the process and everything it started, and waits (briefly) until they are gone.
    virtual void end() = 0;
    virtual long id() const = 0;
};

struct process_launch {
    std::string program;
    std::vector<std::string> args;  // after the program's own name
};

// Starts `launch` with the host's standard input, output and error. Throws process_error.
std::unique_ptr<child_process> start_child_process(const process_launch& launch);

// A new folder only this user can enter, for data that must not land in the cabinet's audited folders (the
// kiosk browser's profile): under $XDG_RUNTIME_DIR, else the system's temporary folder. Throws
// process_error.
std::string make_private_folder(const std::string& prefix);

// The kiosk browser this machine offers: Debian's Chromium; on Windows Edge, else Chrome, where the App
// Paths keys register them. "" when there is none.
std::string default_kiosk_browser();

}  // namespace quizhost
