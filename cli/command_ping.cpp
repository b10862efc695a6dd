// nestbridge-cli ping: echo requests through the same client the reachability check uses.
#include <cstdint>
#include <iostream>
#include <limits>
#include <string>

#include "cli/Command.h"
#include "net/icmp/IdIcmpClient.h"

namespace nb::cli {

namespace {

const char* const kPingSummary = "send ICMP echoes to a host, as the reachability check does";
const char* const PingUsage =
    "usage: nestbridge-cli ping [--timeout MS] [--count N] HOST\n"
    "  Sends N ICMP echo requests (default 1), waiting up to MS milliseconds (default 5000)\n"
    "  for each answer. Exits 0 when no echo timed out.\n";

// A time-out line also stands for an echo whose wait ended on another request's answer:
// nothing answered this one.
void PrintOutcome(const TReplyStatus& status, uint16_t sequence) {
    const bool answered = !status.SourceAddress.empty();
    if (answered && status.Outcome == ReplyOk) {
        std::cout << "reply from " << status.SourceAddress << ": bytes=" << status.ReceivedBytes
                  << " seq=" << status.SequenceNumber << " ttl=" << unsigned{status.ReplyTtl}
                  << " time=" << status.RoundTripMs << "ms\n";
    } else if (answered && status.Outcome == ReplyUnreachable) {
        std::cout << "unreachable from " << status.SourceAddress << " seq=" << status.SequenceNumber << '\n';
    } else if (answered && status.Outcome == ReplyTtlExpired) {
        std::cout << "ttl expired from " << status.SourceAddress << " seq=" << status.SequenceNumber << '\n';
    } else {
        std::cout << "timeout seq=" << sequence << '\n';
    }
    std::cout.flush();
}

bool TimedOut(const TReplyStatus& status) { return status.Outcome == ReplyTimeout || status.SourceAddress.empty(); }

bool NumberOption(ArgParser& parser, const std::string& name, long long min, long long& value) {
    std::string text;
    if (!parser.Value(name, text)) return parser.Error.empty();
    if (!ParseInt(text, value) || value < min || value > std::numeric_limits<int32_t>::max()) {
        parser.Error = "invalid value for " + name + ": " + text;
        return false;
    }
    return true;
}

int RunPing(const std::vector<std::string>& args) {
    const Command self{"ping", kPingSummary, PingUsage, {}};
    ArgParser parser(args);
    if (parser.WantsHelp()) {
        std::cout << self.Usage;
        return ExitOk;
    }
    long long timeout = 5000, count = 1;
    std::vector<std::string> hosts;
    if (!NumberOption(parser, "--timeout", 0, timeout) || !NumberOption(parser, "--count", 1, count) ||
        !parser.Positionals(hosts))
        return UsageError(self, parser.Error);
    if (hosts.size() != 1) return UsageError(self, hosts.empty() ? "HOST is missing" : "only one HOST");

    bool anyTimedOut = false;
    try {
        TIdIcmpClient client;
        client.Host = hosts[0];
        client.ReceiveTimeout = static_cast<int32_t>(timeout);
        for (long long i = 0; i < count; ++i) {
            const uint16_t sequence = client.SequenceCounter;
            client.SendEcho();
            PrintOutcome(client.ReplyStatus, sequence);
            anyTimedOut = anyTimedOut || TimedOut(client.ReplyStatus);
        }
    } catch (const std::exception& e) {
        std::string message = e.what();
        std::erase(message, '\r');  // socket errors join their two lines with CR LF
        std::cerr << message << '\n';
        return ExitFailure;
    }
    return anyTimedOut ? ExitFailure : ExitOk;
}

const RegisterCommand registration{Command{"ping", kPingSummary, PingUsage, RunPing}};

}  // namespace

}  // namespace nb::cli
