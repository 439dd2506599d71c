// The process's standard streams as the programs use them.
#pragma once

namespace quizhost {

// Puts standard input, output and error in binary mode, so what a program prints (transcripts, deciphered
// files, service lines) and reads are the exact bytes on every system: Windows' text mode would put a CR
// before every LF. Nothing to do where the streams have no text mode. Call it first thing in main.
void use_binary_standard_streams();

// A write to a pipe whose reader has gone fails with an error the writer sees (EPIPE) instead of ending
// the process with SIGPIPE, so a player whose transcript reader went away can end in order. Nothing to do
// where pipes raise no signal.
void ignore_broken_pipes();

}  // namespace quizhost
