#pragma once
// The machine's figures that the information view and the system-information window
// show: memory, swap, processor, operating system, the user. Read from /proc, uname,
// /etc/os-release and the password database. The parse* functions take the text of
// those files so they can be checked on fixed samples.
#include <cstdint>
#include <string>
#include <string_view>

namespace kv::platform {

struct MemoryStatus {
    std::uint64_t totalPhys = 0;  // bytes
    std::uint64_t availPhys = 0;  // bytes a program can still get without swapping
    std::uint64_t totalSwap = 0;  // bytes
    std::uint64_t freeSwap = 0;   // bytes
    int memoryLoad = 0;           // percent of physical memory in use, 0..100
};

// From /proc/meminfo ("MemTotal:  16318480 kB" lines). MemAvailable is used when the
// kernel gives it, else MemFree + Buffers + Cached.
MemoryStatus parseMeminfo(std::string_view text);
MemoryStatus memoryStatus();

// Total size in bytes of all swap areas listed in /proc/swaps (sizes there are in KiB).
std::uint64_t parseSwapsTotal(std::string_view text);
std::uint64_t swapTotal();

// Processor: the first "model name" of /proc/cpuinfo, else "vendor_id", else "Hardware"
// (ARM), else empty.
std::string parseCpuModel(std::string_view cpuinfo);
std::string cpuModel();
int cpuCount();

// Operating system: PRETTY_NAME of /etc/os-release (else NAME and VERSION), else "Linux".
std::string parseOsRelease(std::string_view text);
// E.g. "Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64".
std::string osDescription();

// Machine type: the DMI product name when the firmware gives one, else the uname machine
// ("x86_64").
std::string machineType();

// The login name and the full name (first field of the password entry's comment; the
// login name when that is empty).
std::string userName();
std::string userFullName();

// The figures of the system-information window, read from the files under `root` ("/" on a
// running system; a test points it at a folder laid out like one): proc/cpuinfo,
// proc/meminfo, proc/sys/kernel/{ostype,osrelease}, etc/os-release (else usr/lib/os-release),
// sys/class/dmi/id/product_name and proc/device-tree/model.
struct SystemFigures {
    std::string computer;           // DMI product name, else the device-tree model, else "IBM PC/AT"
    std::string processor;          // as parseCpuModel, else "Pentium"; ", MMX" when the flags say mmx
    std::uint64_t totalMemory = 0;  // bytes of physical memory
    std::string operatingSystem;    // "Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64"
};
SystemFigures readSystemFigures(const std::string& root = "/");

// Total size in bytes of the file system holding `path` (blocks times fragment size, in
// 64-bit arithmetic); -1 when it cannot be read.
std::int64_t fileSystemSize(const std::string& path);

}  // namespace kv::platform
