#pragma once
namespace nb {
// True when standard error is a terminal (progress bars are drawn only there).
bool StderrIsTerminal();
}  // namespace nb
