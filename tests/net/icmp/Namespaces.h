#pragma once
// Network namespaces for the echo tests: the test thread's own, or a pair of named ones
// joined by a veth link.
#include <string>
#include <vector>

namespace nb::test {

// Runs argv and answers whether it exited 0; on failure the command and its stderr go to error.
bool RunOk(const std::vector<std::string>& argv, std::string* error = nullptr);

// Moves the calling thread into a fresh network namespace with loopback up, and back on destruction.
class OwnNetwork {
public:
    OwnNetwork();
    ~OwnNetwork();
    OwnNetwork(const OwnNetwork&) = delete;
    OwnNetwork& operator=(const OwnNetwork&) = delete;
    // Empty when the namespace is in place, else why not.
    const std::string& Error() const { return error_; }

private:
    int home_ = -1;
    std::string error_;
};

// Moves the calling thread into the named namespace (/run/netns/NAME) until destruction.
class EnterNetns {
public:
    explicit EnterNetns(const std::string& name);
    ~EnterNetns();
    EnterNetns(const EnterNetns&) = delete;
    EnterNetns& operator=(const EnterNetns&) = delete;
    bool Entered() const { return home_ >= 0 && entered_; }

private:
    int home_ = -1;
    bool entered_ = false;
};

// Two named namespaces joined by a veth link: "near" 192.0.2.1 and "far" 192.0.2.2. The far
// one routes 203.0.113.0/24 to nowhere (unreachable) and 198.51.100.0/24 back to the near one
// (so a request with TTL 1 expires there). Both go away with the object.
class VethPair {
public:
    VethPair();
    ~VethPair();
    VethPair(const VethPair&) = delete;
    VethPair& operator=(const VethPair&) = delete;
    const std::string& Error() const { return error_; }
    const std::string& Near() const { return near_; }
    const std::string& Far() const { return far_; }
    // Runs argv inside the namespace.
    static std::vector<std::string> In(const std::string& netns, std::vector<std::string> argv);
    bool FarIgnoresEchoes(bool ignore);

private:
    std::string near_, far_, error_;
};

// Writes a sysctl of the namespace the calling thread is in.
bool WriteSysctl(const std::string& name, const std::string& value);

// A copy of the program under test that an unprivileged user can run.
class WorldRunnableCli {
public:
    WorldRunnableCli();
    ~WorldRunnableCli();
    WorldRunnableCli(const WorldRunnableCli&) = delete;
    WorldRunnableCli& operator=(const WorldRunnableCli&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string dir_, path_;
};

// argv run as user and group 65534 with no supplementary groups.
std::vector<std::string> AsNobody(std::vector<std::string> argv);

}  // namespace nb::test
