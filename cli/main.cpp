// nestbridge-cli: the same components and workflows as the window, for scripts and tests.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <iostream>

#include "app/StartupRecovery.h"
#include "cli/Command.h"
#include "platform/Console.h"
#include "platform/Environment.h"

namespace nb::cli {

std::vector<Command>& Commands() {
    static std::vector<Command> commands;
    return commands;
}

int UsageError(const Command& command, const std::string& problem) {
    if (!problem.empty()) std::cerr << "nestbridge-cli " << command.Name << ": " << problem << '\n';
    std::cerr << command.Usage;
    return ExitUsage;
}

bool ArgParser::WantsHelp() const {
    return std::find(args_.begin(), args_.end(), "--help") != args_.end() ||
           std::find(args_.begin(), args_.end(), "-h") != args_.end();
}

bool ArgParser::Value(const std::string& name, std::string& out) {
    for (size_t i = 0; i < args_.size(); ++i) {
        if (args_[i] == "--") return false;
        if (args_[i] == name) {
            if (i + 1 >= args_.size()) {
                Error = "option " + name + " needs a value";
                args_.erase(args_.begin() + static_cast<long>(i));
                return false;
            }
            out = args_[i + 1];
            args_.erase(args_.begin() + static_cast<long>(i), args_.begin() + static_cast<long>(i) + 2);
            return true;
        }
        if (args_[i].rfind(name + "=", 0) == 0) {
            out = args_[i].substr(name.size() + 1);
            args_.erase(args_.begin() + static_cast<long>(i));
            return true;
        }
    }
    return false;
}

bool ArgParser::Flag(const std::string& name) {
    for (size_t i = 0; i < args_.size(); ++i) {
        if (args_[i] == "--") return false;
        if (args_[i] == name) {
            args_.erase(args_.begin() + static_cast<long>(i));
            return true;
        }
    }
    return false;
}

bool ArgParser::Positionals(std::vector<std::string>& out) {
    if (!Error.empty()) return false;
    bool optionsEnded = false;
    for (const auto& a : args_) {
        if (!optionsEnded && a == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && a.size() > 1 && a[0] == '-') {
            Error = "unknown option " + a;
            return false;
        }
        out.push_back(a);
    }
    return true;
}

bool ParseInt(const std::string& text, long long& value) {
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && p == text.data() + text.size() && !text.empty();
}

}  // namespace nb::cli

namespace {

void PrintOverview(std::FILE* out) {
    std::fprintf(out, "usage: nestbridge-cli COMMAND [OPTIONS] [ARGS]\n\ncommands:\n");
    auto commands = nb::cli::Commands();
    std::sort(commands.begin(), commands.end(), [](const auto& a, const auto& b) { return a.Name < b.Name; });
    for (const auto& c : commands) std::fprintf(out, "  %-10s %s\n", c.Name.c_str(), c.Summary.c_str());
    std::fprintf(
        out, "\n'nestbridge-cli COMMAND --help' shows a command's usage; 'nestbridge-cli --version' the version.\n");
}

}  // namespace

int main(int argc, char** argv) {
    nb::PrepareConsoleStreams();
    // Before anything else: a download swap that a crash cut short is completed or undone.
    const std::string notice = nb::RecoveryNotice(nb::RecoverInterruptedSwap());
    if (!notice.empty()) std::fprintf(stderr, "nestbridge-cli: %s\n", notice.c_str());
    std::vector<std::string> args = nb::ProgramArguments(argc, argv);
    if (args.empty()) {
        PrintOverview(stderr);
        return nb::cli::ExitUsage;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        PrintOverview(stdout);
        return nb::cli::ExitOk;
    }
    if (args[0] == "--version") {
        std::printf("nestbridge-cli %s\n", NB_VERSION);
        return nb::cli::ExitOk;
    }
    for (const auto& command : nb::cli::Commands()) {
        if (command.Name != args[0]) continue;
        std::vector<std::string> rest(args.begin() + 1, args.end());
        return command.Run(rest);
    }
    std::fprintf(stderr, "nestbridge-cli: unknown command '%s'\n", args[0].c_str());
    PrintOverview(stderr);
    return nb::cli::ExitUsage;
}
