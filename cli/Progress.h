#pragma once
// A one-line progress bar on stderr, drawn only when stderr is a terminal and not --quiet.
#include <string>

namespace nb::cli {

class TerminalProgress {
public:
    explicit TerminalProgress(bool quiet);
    ~TerminalProgress();
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    // percent 0..100; note is shown after the bar (a file name, a speed).
    void Update(int percent, const std::string& note = "");
    // Clears the bar line.
    void Finish();
    bool Enabled() const { return enabled_; }

private:
    bool enabled_;
    bool drawn_ = false;
    int lastPercent_ = -1;
    std::string lastNote_;
};

}  // namespace nb::cli
