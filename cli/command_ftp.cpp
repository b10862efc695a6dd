// nestbridge-cli ftp: one size query, download or upload through the FTP client, as the
// application makes them (automatic login, binary type, the application's buffer sizes).
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "cli/Password.h"
#include "cli/Progress.h"
#include "net/ftp/IdFTP.h"
#include "platform/Clock.h"
#include "platform/Exception.h"

namespace nb::cli {

namespace {

const std::string kUsage =
    std::string(
        "usage: nestbridge-cli ftp --host H [--port P] [--user U [--password P | --password-file FILE]]\n"
        "        [--passive] [--tls auto|require|off] [--ca-file FILE] [--quiet]\n"
        "        size REMOTE | get REMOTE LOCAL | put LOCAL REMOTE\n"
        "  size   prints the remote file's size in bytes (-1, and fails, when the server does not tell it)\n"
        "  get    downloads REMOTE into LOCAL, replacing LOCAL\n"
        "  put    uploads LOCAL as REMOTE\n"
        "  --port defaults to 21; data connections are active unless --passive.\n"
        "  --tls    auto (default): TLS when the server offers it; require: a server without TLS\n"
        "           is refused; off: plain FTP. The server's certificate must verify for --host\n"
        "           against the system's trust store or the authorities in --ca-file.\n") +
    kPasswordUsage;

std::string Speed(int64_t bytes, uint32_t elapsedMs) {
    if (elapsedMs == 0) return "";
    const double kib = static_cast<double>(bytes) / 1024.0 / (elapsedMs / 1000.0);
    char text[48];
    if (kib >= 1024.0) {
        std::snprintf(text, sizeof text, "%.1f MiB/s", kib / 1024.0);
    } else {
        std::snprintf(text, sizeof text, "%.1f KiB/s", kib);
    }
    return text;
}

// Draws the transfer's work events as a bar with the speed.
void ShowProgress(TIdFTP& ftp, TerminalProgress& progress, const int64_t& expected) {
    struct State {
        uint32_t start = 0;
        int64_t max = 0;
    };
    auto state = std::make_shared<State>();
    ftp.OnWorkBegin = [state, &expected](TIdComponent&, TWorkMode, int64_t max) {
        state->start = TickCount();
        state->max = max > 0 ? max : expected;
    };
    ftp.OnWork = [state, &progress](TIdComponent&, TWorkMode, int64_t count) {
        const int percent = state->max > 0 ? static_cast<int>(count * 100LL / state->max) : 0;
        progress.Update(percent, Speed(count, TickCount() - state->start));
    };
    ftp.OnWorkEnd = [&progress](TIdComponent&, TWorkMode) { progress.Finish(); };
}

int RunFtp(const Command& self, const std::vector<std::string>& rawArgs) {
    ArgParser args(rawArgs);
    if (args.WantsHelp()) {
        std::fputs(kUsage.c_str(), stdout);
        return ExitOk;
    }
    std::string host, portText = "21", user, password;
    const bool hasHost = args.Value("--host", host);
    args.Value("--port", portText);
    const bool hasUser = args.Value("--user", user);
    const PasswordOptions passwordOptions = TakePasswordOptions(args);
    const bool passive = args.Flag("--passive");
    std::string tlsText = "auto", caFile;
    args.Value("--tls", tlsText);
    args.Value("--ca-file", caFile);
    const bool quiet = args.Flag("--quiet");
    std::vector<std::string> rest;
    if (!args.Positionals(rest)) return UsageError(self, args.Error);
    if (!hasHost || host.empty()) return UsageError(self, "--host is required");
    long long port = 0;
    if (!ParseInt(portText, port) || port < 1 || port > 65535) return UsageError(self, "bad port " + portText);
    const TIdFTPTlsMode tls = tlsText == "require" ? ftpTlsRequire : tlsText == "off" ? ftpTlsOff : ftpTlsAuto;
    if (tlsText != "auto" && tlsText != "require" && tlsText != "off") return UsageError(self, "bad --tls " + tlsText);
    if (rest.empty()) return UsageError(self, "an operation is required");
    const std::string& op = rest[0];
    const size_t operands = op == "size" ? 1 : (op == "get" || op == "put") ? 2 : 0;
    if (operands == 0) return UsageError(self, "unknown operation " + op);
    if (rest.size() != operands + 1)
        return UsageError(self, op + " needs " + std::to_string(operands) + " argument(s)");
    if (hasUser || passwordOptions.HaveOption) {
        auto resolved = ResolvePassword(passwordOptions, user);
        if (!resolved) return UsageError(self, resolved.Failure().Reason);
        password = std::move(resolved).Value();
    }

    TIdFTP ftp;
    ftp.Host = host;
    ftp.Port = static_cast<int32_t>(port);
    ftp.Username = user;
    ftp.Password = password;
    ftp.Passive = passive;
    ftp.UseTLS = tls;
    ftp.TlsCaFile = caFile;
    ftp.RecvBufferSize = 8192;
    ftp.SendBufferSize = 1024;
    TerminalProgress progress(quiet);
    int64_t expected = 0;
    ShowProgress(ftp, progress, expected);

    int result = ExitOk;
    try {
        ftp.Connect(true, -1);
        ftp.SetTransferType(ftBinary);
        if (op == "size") {
            const int64_t size = ftp.Size(rest[1]);
            std::printf("%lld\n", static_cast<long long>(size));
            if (size < 0) {
                // No size is no answer: a missing file must not pass for one of -1 bytes.
                std::string reply = ftp.LastReply().TextCode();
                for (const auto& line : ftp.LastReply().Text()) reply += " " + line;
                std::fprintf(stderr, "nestbridge-cli ftp: no size for %s: %s\n", rest[1].c_str(),
                             ReasonText(reply).c_str());
                result = ExitFailure;
            }
        } else if (op == "get") {
            // A download announces no size of its own; ask for it only when a bar is drawn.
            if (progress.Enabled()) expected = ftp.Size(rest[1]);
            ftp.Get(rest[1], rest[2], true, false);
        } else {
            ftp.Put(rest[1], rest[2], false);
        }
    } catch (const Exception& e) {
        progress.Finish();
        std::fprintf(stderr, "nestbridge-cli ftp: %s\n", ReasonText(e.Message()).c_str());
        result = ExitFailure;
    }
    try {
        ftp.Quit();
    } catch (const Exception& e) {
        if (result == ExitOk) {
            std::fprintf(stderr, "nestbridge-cli ftp: %s\n", ReasonText(e.Message()).c_str());
            result = ExitFailure;
        }
    }
    return result;
}

const char* const kSummary = "query, download or upload one file through the FTP client";
const RegisterCommand kRegister{Command{"ftp", kSummary, kUsage, [](const std::vector<std::string>& args) {
                                            return RunFtp(Command{"ftp", kSummary, kUsage, {}}, args);
                                        }}};

}  // namespace

}  // namespace nb::cli
