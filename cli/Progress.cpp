#include "cli/Progress.h"

#include <cstdio>

#include "platform/Console.h"

namespace nb::cli {

TerminalProgress::TerminalProgress(bool quiet) : enabled_(!quiet && StderrIsTerminal()) {}

TerminalProgress::~TerminalProgress() { Finish(); }

void TerminalProgress::Update(int percent, const std::string& note) {
    if (!enabled_) return;
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    if (percent == lastPercent_ && note == lastNote_) return;
    lastPercent_ = percent;
    lastNote_ = note;
    constexpr int width = 30;
    int filled = percent * width / 100;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(width - filled), '-');
    std::string shown = note.size() > 40 ? "..." + note.substr(note.size() - 37) : note;
    std::fprintf(stderr, "\r[%s] %3d%% %-40s", bar.c_str(), percent, shown.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void TerminalProgress::Finish() {
    if (!drawn_) return;
    std::fprintf(stderr, "\r%80s\r", "");
    std::fflush(stderr);
    drawn_ = false;
    lastPercent_ = -1;
}

}  // namespace nb::cli
