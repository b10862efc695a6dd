#pragma once
#include <string>

namespace nb {
// True when standard error is a terminal (progress bars are drawn only there).
bool StderrIsTerminal();
// True when standard input is a terminal (a password may be asked for there).
bool StdinIsTerminal();
// Writes prompt to standard error and reads one line from the terminal on standard input
// without echoing it; false at end of input or when the terminal cannot be read.
bool ReadLineWithoutEcho(const std::string& prompt, std::string& line);
// Makes std::cout and std::cerr carry the program's UTF-8 text: where they are a Windows console,
// through the console's wide-character output; redirected, as the same UTF-8 bytes on every
// system, lines ending in "\n", so that scripts read what they read on Linux.
void PrepareConsoleStreams();
}  // namespace nb
