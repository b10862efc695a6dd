#include "platform/Console.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>

#include "platform/ScopeExit.h"

namespace nb {

bool StderrIsTerminal() { return isatty(2) == 1; }
bool StdinIsTerminal() { return isatty(0) == 1; }

namespace {
termios savedTerminal;
struct sigaction savedInterrupt;

// Ctrl-C at the prompt must not leave the user's terminal without echo.
void RestoreAndInterrupt(int signal) {
    tcsetattr(0, TCSANOW, &savedTerminal);
    sigaction(SIGINT, &savedInterrupt, nullptr);
    raise(signal);
}
}  // namespace

bool ReadLineWithoutEcho(const std::string& prompt, std::string& line) {
    if (tcgetattr(0, &savedTerminal) != 0) return false;
    struct sigaction onInterrupt {};
    onInterrupt.sa_handler = RestoreAndInterrupt;
    sigaction(SIGINT, &onInterrupt, &savedInterrupt);
    termios quiet = savedTerminal;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    // TCSANOW, not TCSAFLUSH: what was typed ahead of the prompt is the password, not to be dropped.
    tcsetattr(0, TCSANOW, &quiet);
    ScopeExit restore([] {
        tcsetattr(0, TCSANOW, &savedTerminal);
        sigaction(SIGINT, &savedInterrupt, nullptr);
    });
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    line.clear();
    char c = 0;
    for (;;) {
        const ssize_t n = read(0, &c, 1);
        if (n < 0) return false;
        if (n == 0) return !line.empty();
        if (c == '\n') return true;
        if (c != '\r') line += c;
    }
}

void PrepareConsoleStreams() {}
}  // namespace nb
