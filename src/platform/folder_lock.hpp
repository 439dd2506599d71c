// The single-instance lock of a cabinet folder: one host at a time may serve a cabinet, or two hosts would
// interleave their rewrites of the meter file and lose audited games. The lock is one the operating
// system drops with the process, so a crash or a power cut never leaves a stale lock behind, and taking
// it creates or changes nothing in the folder.
#pragma once

#include <memory>
#include <string>

#include "platform/file_lock.hpp"

namespace quizhost {

// Takes the exclusive lock of one cabinet folder without waiting; empty when another process holds it,
// and then `holder` says who, where the system can tell ("process 1234"), else "".
// The folder is known by what it is, not by how it is named: symbolic links, ".." and (on Windows) letter
// case reach the same lock. run_time_error 76 when the folder is missing, 75 when it cannot be opened.
std::unique_ptr<file_lock> try_lock_folder(const std::string& folder, std::string& holder);

}  // namespace quizhost
