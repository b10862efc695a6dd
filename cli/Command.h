#pragma once
// The sub-commands of nestbridge-cli register themselves here, one file each.
#include <functional>
#include <string>
#include <vector>

namespace nb::cli {

constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

struct Command {
    std::string Name;
    std::string Summary;  // one line in the program's command list
    std::string Usage;    // printed for --help and on usage errors
    std::function<int(const std::vector<std::string>& args)> Run;
};

std::vector<Command>& Commands();

struct RegisterCommand {
    explicit RegisterCommand(Command command) { Commands().push_back(std::move(command)); }
};

// Prints the usage to stderr and answers ExitUsage.
int UsageError(const Command& command, const std::string& problem);

// Options and positionals of one command line. Options are "--name VALUE", "--name=VALUE" or flags.
class ArgParser {
public:
    explicit ArgParser(std::vector<std::string> args) : args_(std::move(args)) {}
    bool WantsHelp() const;
    // Takes the option's value; false when absent. Sets Error when the value is missing.
    bool Value(const std::string& name, std::string& out);
    bool Flag(const std::string& name);
    // The rest, which must hold no unknown options; false (with Error) otherwise.
    bool Positionals(std::vector<std::string>& out);
    std::string Error;

private:
    std::vector<std::string> args_;
};

// Whole-number option values; false when the text is not one.
bool ParseInt(const std::string& text, long long& value);

}  // namespace nb::cli
