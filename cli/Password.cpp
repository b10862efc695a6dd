#include "cli/Password.h"

#include "platform/Console.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace nb::cli {

const char* const kPasswordUsage =
    "  The password is --password PW, else $NESTBRIDGE_PASSWORD, else the first line of\n"
    "  --password-file FILE, else asked for without echo on the terminal.\n";

PasswordOptions TakePasswordOptions(ArgParser& args) {
    PasswordOptions options;
    options.HaveOption = args.Value("--password", options.Option);
    options.HaveFile = args.Value("--password-file", options.File);
    return options;
}

bool ResolvePassword(const PasswordOptions& options, const std::string& user, std::string& password,
                     std::string& problem) {
    if (options.HaveOption) {
        password = options.Option;
        return true;
    }
    if (auto fromEnvironment = EnvironmentValue("NESTBRIDGE_PASSWORD"); fromEnvironment && !fromEnvironment->empty()) {
        password = *fromEnvironment;
        return true;
    }
    if (options.HaveFile) {
        std::string text;
        if (!ReadWholeFile(options.File, text)) {
            problem = "cannot read the password file " + options.File;
            return false;
        }
        StripUtf8ByteOrderMark(text);
        password = text.substr(0, text.find('\n'));
        if (!password.empty() && password.back() == '\r') password.pop_back();
        return true;
    }
    if (StdinIsTerminal()) {
        if (ReadLineWithoutEcho("Password for " + user + ": ", password)) return true;
        problem = "no password was entered";
        return false;
    }
    problem = "a password is needed: --password, NESTBRIDGE_PASSWORD, --password-file or a terminal";
    return false;
}

}  // namespace nb::cli
