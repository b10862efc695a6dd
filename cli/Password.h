#pragma once
// Where a command's password comes from, so that it need not stand in the process list.
#include <string>

#include "cli/Command.h"
#include "platform/Result.h"

namespace nb::cli {

struct PasswordOptions {
    bool HaveOption = false, HaveFile = false;
    std::string Option, File;  // --password, --password-file
};

// Takes --password and --password-file from args (before their positionals are checked).
PasswordOptions TakePasswordOptions(ArgParser& args);

// The password is --password, else the environment variable NESTBRIDGE_PASSWORD (when not
// empty), else the first line of --password-file, else asked for without echo when standard
// input is a terminal. A failure (a usage error) when none gives one.
TResult<std::string> ResolvePassword(const PasswordOptions& options, const std::string& user);

extern const char* const kPasswordUsage;  // the options' lines for the usage texts

}  // namespace nb::cli
