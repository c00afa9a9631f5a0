#include "platform/system_info.h"

#include <pwd.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace kv::platform {
namespace {

std::string readFile(const char* path) {
    std::ifstream f(path);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

// Splits "key<sep>value" lines and calls f(key, value) with both trimmed.
template <class F>
void forEachKeyValue(std::string_view text, char sep, F&& f) {
    while (!text.empty()) {
        auto nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        auto at = line.find(sep);
        if (at == std::string_view::npos) continue;
        if (!f(trim(line.substr(0, at)), trim(line.substr(at + 1)))) return;
    }
}

std::uint64_t leadingNumber(std::string_view s) {
    std::uint64_t v = 0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

std::string unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return std::string(v);
}

}  // namespace

MemoryStatus parseMeminfo(std::string_view text) {
    std::uint64_t total = 0, avail = 0, freeMem = 0, buffers = 0, cached = 0, swapTotal = 0, swapFree = 0;
    bool haveAvail = false;
    forEachKeyValue(text, ':', [&](std::string_view k, std::string_view v) {
        std::uint64_t kib = leadingNumber(v);
        if (k == "MemTotal")
            total = kib;
        else if (k == "MemAvailable")
            avail = kib, haveAvail = true;
        else if (k == "MemFree")
            freeMem = kib;
        else if (k == "Buffers")
            buffers = kib;
        else if (k == "Cached")
            cached = kib;
        else if (k == "SwapTotal")
            swapTotal = kib;
        else if (k == "SwapFree")
            swapFree = kib;
        return true;
    });
    if (!haveAvail) avail = freeMem + buffers + cached;
    if (avail > total) avail = total;
    MemoryStatus m;
    m.totalPhys = total * 1024;
    m.availPhys = avail * 1024;
    m.totalSwap = swapTotal * 1024;
    m.freeSwap = swapFree * 1024;
    m.memoryLoad = total ? static_cast<int>(((total - avail) * 100 + total / 2) / total) : 0;
    return m;
}

MemoryStatus memoryStatus() { return parseMeminfo(readFile("/proc/meminfo")); }

std::uint64_t parseSwapsTotal(std::string_view text) {
    // Filename Type Size Used Priority; the first line is the heading.
    std::istringstream in{std::string(text)};
    std::string line;
    std::uint64_t total = 0;
    bool first = true;
    while (std::getline(in, line)) {
        if (first) {
            first = false;
            if (line.rfind("Filename", 0) == 0) continue;
        }
        std::istringstream fields(line);
        std::string name, type;
        std::uint64_t sizeKiB = 0;
        if (fields >> name >> type >> sizeKiB) total += sizeKiB * 1024;
    }
    return total;
}

std::uint64_t swapTotal() { return parseSwapsTotal(readFile("/proc/swaps")); }

std::string parseCpuModel(std::string_view cpuinfo) {
    std::string model, vendor, hardware;
    forEachKeyValue(cpuinfo, ':', [&](std::string_view k, std::string_view v) {
        if (k == "model name" && model.empty())
            model = v;
        else if (k == "vendor_id" && vendor.empty())
            vendor = v;
        else if (k == "Hardware" && hardware.empty())
            hardware = v;
        return true;
    });
    if (!model.empty()) return model;
    if (!vendor.empty()) return vendor;
    return hardware;
}

std::string cpuModel() { return parseCpuModel(readFile("/proc/cpuinfo")); }

int cpuCount() {
    unsigned n = std::thread::hardware_concurrency();
    return n ? static_cast<int>(n) : 1;
}

std::string parseOsRelease(std::string_view text) {
    std::string pretty, name, version;
    forEachKeyValue(text, '=', [&](std::string_view k, std::string_view v) {
        if (k == "PRETTY_NAME")
            pretty = unquote(v);
        else if (k == "NAME")
            name = unquote(v);
        else if (k == "VERSION")
            version = unquote(v);
        return true;
    });
    if (!pretty.empty()) return pretty;
    if (!name.empty()) return version.empty() ? name : name + " " + version;
    return "Linux";
}

std::string osDescription() {
    std::string text = readFile("/etc/os-release");
    if (text.empty()) text = readFile("/usr/lib/os-release");
    std::string os = parseOsRelease(text);
    struct utsname u {};
    if (::uname(&u) == 0) os += std::string(", ") + u.sysname + " " + u.release;
    return os;
}

std::string machineType() {
    std::string product(trim(readFile("/sys/class/dmi/id/product_name")));
    if (!product.empty()) return product;
    struct utsname u {};
    if (::uname(&u) == 0) return u.machine;
    return {};
}

namespace {
const passwd* ownEntry(std::vector<char>& buf, passwd& pw) {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    buf.resize(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd* result = nullptr;
    while (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &result) == ERANGE)
        buf.resize(buf.size() * 2);
    return result;
}
}  // namespace

std::string userName() {
    std::vector<char> buf;
    passwd pw{};
    if (const passwd* e = ownEntry(buf, pw); e && e->pw_name) return e->pw_name;
    if (const char* u = ::getenv("USER")) return u;
    return {};
}

std::string userFullName() {
    std::vector<char> buf;
    passwd pw{};
    const passwd* e = ownEntry(buf, pw);
    if (e && e->pw_gecos) {
        std::string_view g = e->pw_gecos;
        std::string full(trim(g.substr(0, g.find(','))));
        if (!full.empty()) return full;
    }
    return userName();
}

namespace {

std::string underRoot(const std::string& root, const char* relative) {
    std::string path = root.empty() ? std::string("/") : root;
    if (path.back() != '/') path += '/';
    return readFile((path + relative).c_str());
}

// The device-tree model ends with a NUL byte.
std::string firstLine(std::string_view text) {
    text = text.substr(0, text.find_first_of(std::string_view("\n\0", 2)));
    return std::string(trim(text));
}

bool cpuHasFlag(std::string_view cpuinfo, std::string_view flag) {
    bool found = false;
    forEachKeyValue(cpuinfo, ':', [&](std::string_view k, std::string_view v) {
        if (k != "flags" && k != "Features") return true;
        while (!v.empty()) {
            auto sp = v.find(' ');
            if (v.substr(0, sp) == flag) found = true;
            v = sp == std::string_view::npos ? std::string_view{} : trim(v.substr(sp + 1));
        }
        return false;  // the first processor's flags speak for all
    });
    return found;
}

}  // namespace

SystemFigures readSystemFigures(const std::string& root) {
    SystemFigures f;
    f.computer = firstLine(underRoot(root, "sys/class/dmi/id/product_name"));
    if (f.computer.empty()) f.computer = firstLine(underRoot(root, "proc/device-tree/model"));
    if (f.computer.empty()) f.computer = "IBM PC/AT";

    const std::string cpuinfo = underRoot(root, "proc/cpuinfo");
    f.processor = parseCpuModel(cpuinfo);
    if (f.processor.empty()) f.processor = "Pentium";
    if (cpuHasFlag(cpuinfo, "mmx")) f.processor += ", MMX";

    f.totalMemory = parseMeminfo(underRoot(root, "proc/meminfo")).totalPhys;

    std::string release = underRoot(root, "etc/os-release");
    if (release.empty()) release = underRoot(root, "usr/lib/os-release");
    f.operatingSystem = parseOsRelease(release);
    const std::string kernelName = firstLine(underRoot(root, "proc/sys/kernel/ostype"));
    const std::string kernelRelease = firstLine(underRoot(root, "proc/sys/kernel/osrelease"));
    if (!kernelRelease.empty())
        f.operatingSystem +=
            ", " + (kernelName.empty() ? std::string("Linux") : kernelName) + " " + kernelRelease;
    return f;
}

std::int64_t fileSystemSize(const std::string& path) {
    struct statvfs s {};
    if (path.empty() || ::statvfs(path.c_str(), &s) != 0) return -1;
    const std::uint64_t unit = s.f_frsize ? s.f_frsize : s.f_bsize;
    const std::uint64_t blocks = s.f_blocks;
    if (unit && blocks > static_cast<std::uint64_t>(INT64_MAX) / unit) return INT64_MAX;
    return static_cast<std::int64_t>(blocks * unit);
}

}  // namespace kv::platform
