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

TResult<std::string> ResolvePassword(const PasswordOptions& options, const std::string& user) {
    if (options.HaveOption) return options.Option;
    if (auto fromEnvironment = EnvironmentValue("NESTBRIDGE_PASSWORD"); fromEnvironment && !fromEnvironment->empty())
        return *fromEnvironment;
    if (options.HaveFile) {
        std::string text;
        if (!ReadWholeFile(options.File, text)) return Fail("cannot read the password file " + options.File);
        StripUtf8ByteOrderMark(text);
        std::string password = text.substr(0, text.find('\n'));
        if (!password.empty() && password.back() == '\r') password.pop_back();
        return password;
    }
    if (StdinIsTerminal()) {
        std::string password;
        if (ReadLineWithoutEcho("Password for " + user + ": ", password)) return password;
        return Fail("no password was entered");
    }
    return Fail("a password is needed: --password, NESTBRIDGE_PASSWORD, --password-file or a terminal");
}

}  // namespace nb::cli
