// The process's standard streams as the programs use them.
#pragma once

namespace quizhost {

// Puts standard input, output and error in binary mode, so what a program prints (transcripts, deciphered
// files, service lines) and reads are the exact bytes on every system: Windows' text mode would put a CR
// before every LF. Nothing to do where the streams have no text mode. Call it first thing in main.
void use_binary_standard_streams();

}  // namespace quizhost
