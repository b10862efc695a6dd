#include "tests/net/icmp/Namespaces.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "tests/support/TestSupport.h"

namespace nb::test {

bool RunOk(const std::vector<std::string>& argv, std::string* error) {
    CommandResult r = RunCommand(argv);
    if (r.ExitCode != 0 && error) {
        std::string line;
        for (const auto& a : argv) line += a + " ";
        *error = line + "failed: " + r.Stderr;
    }
    return r.ExitCode == 0;
}

OwnNetwork::OwnNetwork() {
    home_ = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (home_ < 0) {
        error_ = std::string("cannot open the current network namespace: ") + std::strerror(errno);
        return;
    }
    if (unshare(CLONE_NEWNET) != 0) {
        error_ = std::string("cannot create a network namespace: ") + std::strerror(errno);
        close(home_);
        home_ = -1;
        return;
    }
    RunOk({"ip", "link", "set", "lo", "up"}, &error_);
}

OwnNetwork::~OwnNetwork() {
    if (home_ < 0) return;
    setns(home_, CLONE_NEWNET);
    close(home_);
}

EnterNetns::EnterNetns(const std::string& name) {
    home_ = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    int target = open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
    if (home_ >= 0 && target >= 0) entered_ = setns(target, CLONE_NEWNET) == 0;
    if (target >= 0) close(target);
}

EnterNetns::~EnterNetns() {
    if (home_ < 0) return;
    if (entered_) setns(home_, CLONE_NEWNET);
    close(home_);
}

VethPair::VethPair() {
    static int serial = 0;
    const std::string tag = std::to_string(getpid()) + "-" + std::to_string(++serial);
    near_ = "nbicmpA" + tag;
    far_ = "nbicmpB" + tag;
    const std::vector<std::vector<std::string>> steps = {
        {"ip", "netns", "add", near_},
        {"ip", "netns", "add", far_},
        {"ip", "-n", near_, "link", "add", "v0", "type", "veth", "peer", "name", "v0", "netns", far_},
        {"ip", "-n", near_, "addr", "add", "192.0.2.1/24", "dev", "v0"},
        {"ip", "-n", far_, "addr", "add", "192.0.2.2/24", "dev", "v0"},
        {"ip", "-n", near_, "link", "set", "lo", "up"},
        {"ip", "-n", far_, "link", "set", "lo", "up"},
        {"ip", "-n", near_, "link", "set", "v0", "up"},
        {"ip", "-n", far_, "link", "set", "v0", "up"},
        {"ip", "-n", near_, "route", "add", "203.0.113.0/24", "via", "192.0.2.2"},
        {"ip", "-n", near_, "route", "add", "198.51.100.0/24", "via", "192.0.2.2"},
        {"ip", "-n", far_, "route", "add", "unreachable", "203.0.113.0/24"},
        {"ip", "-n", far_, "route", "add", "198.51.100.0/24", "via", "192.0.2.1"},
        In(far_, {"sysctl", "-q", "-w", "net.ipv4.ip_forward=1"}),
    };
    for (const auto& step : steps)
        if (!RunOk(step, &error_)) return;
}

VethPair::~VethPair() {
    RunOk({"ip", "netns", "del", near_});
    RunOk({"ip", "netns", "del", far_});
}

std::vector<std::string> VethPair::In(const std::string& netns, std::vector<std::string> argv) {
    argv.insert(argv.begin(), {"ip", "netns", "exec", netns});
    return argv;
}

bool VethPair::FarIgnoresEchoes(bool ignore) {
    return RunOk(
        In(far_, {"sysctl", "-q", "-w", std::string("net.ipv4.icmp_echo_ignore_all=") + (ignore ? "1" : "0")}));
}

bool WriteSysctl(const std::string& name, const std::string& value) {
    return RunOk({"sysctl", "-q", "-w", name + "=" + value});
}

WorldRunnableCli::WorldRunnableCli() {
    std::string pattern = "/tmp/nb-cli-XXXXXX";
    if (!mkdtemp(pattern.data())) return;
    dir_ = pattern;
    chmod(dir_.c_str(), 0755);
    path_ = dir_ + "/nestbridge-cli";
    std::error_code ec;
    std::filesystem::copy_file(CliPath(), path_, ec);
    if (ec)
        path_.clear();
    else
        chmod(path_.c_str(), 0755);
}

WorldRunnableCli::~WorldRunnableCli() {
    if (!dir_.empty()) RemoveTree(dir_);
}

std::vector<std::string> AsNobody(std::vector<std::string> argv) {
    argv.insert(argv.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    return argv;
}

}  // namespace nb::test
