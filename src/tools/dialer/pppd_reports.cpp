#include "tools/dialer/pppd_reports.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace kv::dialer {

namespace {
bool contains(std::string_view s, std::string_view part) { return s.find(part) != std::string_view::npos; }
bool endsWith(std::string_view s, std::string_view end) {
    return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}

// pppd's exit statuses that matter here.
constexpr int kExitUserRequest = 5;
constexpr int kExitConnectFailed = 8;  // the chat script gave up: BUSY, NO CARRIER, no answer
constexpr int kExitPeerDead = 15;
constexpr int kExitHangup = 16;
}  // namespace

std::optional<DialReport> pppdLineReport(std::string_view line) {
    if (contains(line, "Serial connection established")) return DialReport{kDeviceConnected, 0};
    if (contains(line, "Connect: ppp")) return DialReport{kAuthenticate, 0};
    if (contains(line, "authentication succeeded")) return DialReport{kAuthenticated, 0};
    if (contains(line, "local  IP address") || contains(line, "local IP address"))
        return DialReport{kConnected, 0};
    return std::nullopt;
}

std::string pppdInterface(std::string_view line) {
    constexpr std::string_view kUsing = "Using interface ";
    const auto at = line.find(kUsing);
    if (at == std::string_view::npos) return {};
    std::string name;
    for (char c : line.substr(at + kUsing.size())) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-') break;
        name += c;
    }
    return name;
}

int pppdPid(std::string_view text) {
    int pid = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        if (pid > 100000000) return 0;
        pid = pid * 10 + (c - '0');
    }
    return pid > 1 ? pid : 0;  // never signal init or everything
}

DialReport pppdExitReport(int exitCode, bool reached, bool hungUp) {
    if (hungUp || exitCode == kExitUserRequest) return {kDisconnected, 0};
    if (exitCode == kExitConnectFailed) return {kConnectDevice, kLineBusy};
    if (reached || exitCode == kExitHangup || exitCode == kExitPeerDead)
        return {kDisconnected, kPortDisconnected};
    return {kConnectDevice, kOtherFailure};
}

std::vector<std::string> pppdPeers(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
        std::error_code fileEc;
        if (!e.is_regular_file(fileEc)) continue;
        const std::string name = e.path().filename().string();
        if (name.empty() || name[0] == '.' || endsWith(name, "~") || endsWith(name, ".dpkg-old") ||
            endsWith(name, ".dpkg-dist") || endsWith(name, ".bak"))
            continue;
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace kv::dialer
