#include "tests/app/AppTestSupport.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace nb::test {

namespace fs = std::filesystem;

std::vector<std::string> FoldSpeedLines(const std::vector<std::string>& lines, const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& line : lines) {
        for (const char* speed : {"Download speed ", "Uploade speed "}) {
            std::string head = prefix + speed;
            if (line.rfind(head, 0) == 0) {
                std::string folded = head + "*";
                if (out.empty() || out.back() != folded) out.push_back(folded);
                goto next;
            }
        }
        out.push_back(line);
    next:;
    }
    return out;
}

std::vector<std::string> RecordingWindow::Folded() const {
    std::vector<std::string> folded = FoldSpeedLines(events, "status:");
    for (auto& e : folded)
        if (e.rfind("ask:", 0) == 0) e = "ask";
    return folded;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::map<std::string, std::string> Snapshot(const std::string& folder) {
    std::map<std::string, std::string> snap;
    for (const auto& e : fs::recursive_directory_iterator(FsPath(folder))) {
        // '/'-separated on every system, so that tests name entries one way.
        const std::u8string generic = fs::relative(e.path(), FsPath(folder)).generic_u8string();
        const std::string rel(generic.begin(), generic.end());
        auto mode = static_cast<unsigned>(e.symlink_status().permissions());
        std::string value = std::to_string(mode) + ":dir";
        if (!e.is_directory()) {
            // Size and hash keep a failure report short; the bytes themselves are compared through them.
            std::string bytes = ReadFile(PathText(e.path()));
            value = std::to_string(mode) + ":" + std::to_string(bytes.size()) + ":" +
                    std::to_string(std::hash<std::string>{}(bytes));
        }
        snap[rel] = value;
    }
    return snap;
}

void WriteServiceSettings(const std::string& settingsFile, int ftpPort, int probeTimeoutMs) {
    fs::create_directories(FsPath(settingsFile).parent_path());
    WriteFile(settingsFile, "[Service]\nFtpHost=127.0.0.1\nFtpPort=" + std::to_string(ftpPort) +
                                "\nProbeHost=127.0.0.1\nProbeTimeout=" + std::to_string(probeTimeoutMs) + "\n");
}

LyingFtpServer::LyingFtpServer(int sizeBonus, const std::string& user, const std::string& password)
    : server_(
          PythonScript("tests/app/lying_ftpd.py", {user, password, HostPath(home_.Path()), std::to_string(sizeBonus)}),
          "lying_ftpd.py") {}

LyingFtpServer::~LyingFtpServer() = default;

}  // namespace nb::test
