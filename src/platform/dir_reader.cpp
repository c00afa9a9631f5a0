#include "platform/dir_reader.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <system_error>
#include <thread>

namespace kv::platform {

namespace {

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void civilFromDays(std::int64_t z, int& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t yy = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(yy + (m <= 2));
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

}  // namespace

LocalTime toLocalTime(std::int64_t seconds, std::uint32_t nanoseconds) {
    // localtime_r takes a lock and walks the zone rules on every call; files in one
    // folder mostly share a few hours, so the UTC offset of the last hour is reused.
    thread_local std::int64_t cachedHour = INT64_MIN;
    thread_local long cachedOffset = 0;
    const std::int64_t hour = floorDiv(seconds, 3600);
    if (hour != cachedHour) {
        const time_t t = static_cast<time_t>(hour * 3600);
        struct tm tmv {};
        if (!localtime_r(&t, &tmv)) return {};
        // A zone change inside the hour is possible only at odd offsets; checking the
        // hour's end keeps such hours out of the cache.
        const time_t tEnd = t + 3599;
        struct tm tmEnd {};
        localtime_r(&tEnd, &tmEnd);
        cachedOffset = tmv.tm_gmtoff;
        cachedHour = tmEnd.tm_gmtoff == tmv.tm_gmtoff ? hour : INT64_MIN;
    }
    const std::int64_t local = seconds + cachedOffset;
    const std::int64_t days = floorDiv(local, 86400);
    const std::int64_t secs = local - days * 86400;
    int y;
    unsigned m, d;
    civilFromDays(days, y, m, d);
    LocalTime lt;
    lt.Year = static_cast<std::uint16_t>(y < 0 ? 0 : (y > 65535 ? 65535 : y));
    lt.Month = static_cast<std::uint16_t>(m);
    lt.Day = static_cast<std::uint16_t>(d);
    lt.DayOfWeek = static_cast<std::uint16_t>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
    lt.Hour = static_cast<std::uint16_t>(secs / 3600);
    lt.Minute = static_cast<std::uint16_t>(secs / 60 % 60);
    lt.Second = static_cast<std::uint16_t>(secs % 60);
    lt.Millisecond = static_cast<std::uint16_t>(nanoseconds / 1000000);
    return lt;
}

namespace {

std::uint16_t attrFromMode(mode_t mode, const char* name) {
    std::uint16_t a = 0;
    if (S_ISDIR(mode))
        a |= faDirectory;
    else if (S_ISREG(mode))
        a |= faArchive;
    else
        a |= faSysFile;
    if (!(mode & S_IWUSR)) a |= faReadOnly;
    if (name[0] == '.') a |= faHidden;
    return a;
}

FileKind kindOf(mode_t mode) {
    if (S_ISREG(mode)) return FileKind::Regular;
    if (S_ISDIR(mode)) return FileKind::Folder;
    if (S_ISFIFO(mode)) return FileKind::Fifo;
    if (S_ISSOCK(mode)) return FileKind::Socket;
    if (S_ISCHR(mode)) return FileKind::CharDevice;
    if (S_ISBLK(mode)) return FileKind::BlockDevice;
    return FileKind::Other;
}

void fillFromStatx(DirItem& item, const struct statx& sx, const char* name) {
    item.kind = kindOf(sx.stx_mode);
    item.created = item.accessed = item.written = {};
    item.attr = attrFromMode(sx.stx_mode, name);
    item.size = S_ISDIR(sx.stx_mode) ? 0 : static_cast<std::int64_t>(sx.stx_size);
    item.executable = S_ISREG(sx.stx_mode) && (sx.stx_mode & (S_IXUSR | S_IXGRP | S_IXOTH));
    item.written = toLocalTime(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
    item.accessed = toLocalTime(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
    if ((sx.stx_mask & STATX_BTIME) && sx.stx_btime.tv_sec != 0)
        item.created = toLocalTime(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec);
    else
        item.created = item.written;
}

constexpr unsigned kMask = STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME | STATX_ATIME | STATX_BTIME;

}  // namespace

bool statEntry(int dirFd, const std::string& name, DirItem& out) {
    struct statx sx;
    const bool maybeLink = out.typeHint == DT_LNK || out.typeHint == DT_UNKNOWN;
    if (::statx(dirFd, name.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, kMask, &sx) != 0) return false;
    out.isLink = maybeLink && S_ISLNK(sx.stx_mode);
    out.danglingLink = false;
    if (out.isLink) {
        struct statx target;
        // A dangling link is listed as what it is: a link with no target.
        if (::statx(dirFd, name.c_str(), AT_NO_AUTOMOUNT, kMask, &target) == 0)
            sx = target;
        else
            out.danglingLink = true;
    }
    fillFromStatx(out, sx, name.c_str());
    return true;
}

DirNames::~DirNames() {
    if (dir_) ::closedir(static_cast<DIR*>(dir_));
}

bool DirNames::open(const std::string& path) {
    if (dir_) ::closedir(static_cast<DIR*>(dir_));
    dir_ = nullptr;
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    dir_ = ::fdopendir(fd);
    if (!dir_) ::close(fd);
    return dir_ != nullptr;
}

int DirNames::fd() const { return dir_ ? ::dirfd(static_cast<DIR*>(dir_)) : -1; }

bool DirNames::next(std::vector<DirItem>& out, std::size_t max) {
    if (!dir_) return false;
    for (std::size_t n = 0; n < max; ++n) {
        const dirent* de = ::readdir(static_cast<DIR*>(dir_));
        if (!de) return false;
        const char* name = de->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) {
            --n;
            continue;
        }
        DirItem& item = out.emplace_back();
        item.name = name;
        item.typeHint = de->d_type;
    }
    return true;
}

bool statItems(int dirFd, std::vector<DirItem>& items, const ReadControl& control) {
    // Items are handed out in slices through one counter: a thread that meets a slow
    // entry does not hold the others up, and the cancel flag is looked at per slice.
    constexpr std::size_t kSlice = 256;
    const std::size_t n = items.size();
    std::vector<std::uint8_t> gone(n, 0);
    std::atomic<std::size_t> nextSlice{0};
    auto work = [&] {
        for (;;) {
            if (control.cancel && control.cancel->load(std::memory_order_relaxed)) return;
            const std::size_t from = nextSlice.fetch_add(kSlice, std::memory_order_relaxed);
            if (from >= n) return;
            const std::size_t to = std::min(n, from + kSlice);
            for (std::size_t i = from; i < to; ++i)
                if (!statEntry(dirFd, items[i].name, items[i])) gone[i] = 1;
        }
    };
    unsigned threads =
        control.threads ? control.threads : std::min(8u, std::max(1u, std::thread::hardware_concurrency()));
    // A thread costs about as much as a few dozen stat calls: small folders stay on one.
    threads = static_cast<unsigned>(std::min<std::size_t>(threads, 1 + n / 2048));
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < threads; ++t) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // fewer threads only make it slower
        }
    }
    work();
    for (auto& h : helpers) h.join();
    if (control.cancel && control.cancel->load()) return false;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < n; ++i)
        if (!gone[i]) {
            if (kept != i) items[kept] = std::move(items[i]);
            ++kept;
        }
    items.resize(kept);
    return true;
}

bool readDirectory(const std::string& path, std::vector<DirItem>& out, const ReadControl& control) {
    out.clear();
    DirNames names;
    if (!names.open(path)) return false;
    while (names.next(out, 4096)) {
        if (control.progress) control.progress->store(out.size(), std::memory_order_relaxed);
        if (control.cancel && control.cancel->load(std::memory_order_relaxed)) {
            out.clear();
            return false;
        }
    }
    if (control.progress) control.progress->store(out.size(), std::memory_order_relaxed);
    if (!statItems(names.fd(), out, control)) {
        out.clear();
        return false;
    }
    return true;
}

namespace {

// udev writes unsafe characters of a label as "\xNN".
std::string unescapeUdev(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x') {
            out.push_back(static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16)));
            i += 3;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

std::string nameForDevice(const char* folder, dev_t dev) {
    DIR* d = ::opendir(folder);
    if (!d) return {};
    std::string found;
    while (const dirent* de = ::readdir(d)) {
        if (de->d_name[0] == '.') continue;
        struct stat st;
        const std::string p = std::string(folder) + "/" + de->d_name;
        if (::stat(p.c_str(), &st) == 0 && S_ISBLK(st.st_mode) && st.st_rdev == dev) {
            found = unescapeUdev(de->d_name);
            break;
        }
    }
    ::closedir(d);
    return found;
}

}  // namespace

VolumeId volumeId(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return {};
    return {nameForDevice("/dev/disk/by-label", st.st_dev), nameForDevice("/dev/disk/by-uuid", st.st_dev)};
}

int fileAttributes(const std::string& path) {
    struct statx sx;
    if (::statx(AT_FDCWD, path.c_str(), AT_NO_AUTOMOUNT, kMask, &sx) != 0) return -1;
    const auto slash = path.find_last_of('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    return attrFromMode(sx.stx_mode, base.c_str());
}

}  // namespace kv::platform
