#pragma once
namespace nb {
// True when standard error is a terminal (progress bars are drawn only there).
bool StderrIsTerminal();
// Makes std::cout and std::cerr carry the program's UTF-8 text: where they are a Windows console,
// through the console's wide-character output; redirected, as the same UTF-8 bytes on every
// system, lines ending in "\n", so that scripts read what they read on Linux.
void PrepareConsoleStreams();
}  // namespace nb
