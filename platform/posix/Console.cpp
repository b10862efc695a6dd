#include "platform/Console.h"

#include <unistd.h>

namespace nb {
bool StderrIsTerminal() { return isatty(2) == 1; }
void PrepareConsoleStreams() {}
}  // namespace nb
