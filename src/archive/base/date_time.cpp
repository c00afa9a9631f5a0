#include "archive/base/date_time.h"

#include <cstdio>

namespace kv {
namespace {

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int daysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}
TDateTime fromTm(const std::tm& tm) {
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace

TDateTime dosDateTimeToDateTime(uint32_t dos) {
    if (dos == 0) return kDosEpoch;
    TDateTime d;
    d.Year = 1980 + int(dos >> 25);
    d.Month = int((dos >> 21) & 0x0F);
    d.Day = int((dos >> 16) & 0x1F);
    d.Hour = int((dos >> 11) & 0x1F);
    d.Minute = int((dos >> 5) & 0x3F);
    d.Second = int(dos & 0x1F) * 2;
    if (d.Month < 1 || d.Month > 12 || d.Day < 1 || d.Day > daysInMonth(d.Year, d.Month) || d.Hour > 23 ||
        d.Minute > 59 || d.Second > 59)
        return kDosEpoch;
    return d;
}

TDateTime unixTimeToDateTime(int64_t t) {
    if (t == 0) return TDateTime{1980, 1, 1, 0, 1, 0};
    std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    if (!localtime_r(&tt, &tm)) return kDosEpoch;
    return fromTm(tm);
}

int64_t dateTimeToUnixTime(const TDateTime& d) {
    std::tm tm{};
    tm.tm_year = d.Year - 1900;
    tm.tm_mon = d.Month - 1;
    tm.tm_mday = d.Day;
    tm.tm_hour = d.Hour;
    tm.tm_min = d.Minute;
    tm.tm_sec = d.Second;
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    return static_cast<int64_t>(t);
}

uint32_t dateTimeToDos(const TDateTime& d) {
    if (d.Year < 1980) return (1u << 21) | (1u << 16);
    int y = d.Year > 2107 ? 2107 : d.Year;
    return uint32_t(y - 1980) << 25 | uint32_t(d.Month) << 21 | uint32_t(d.Day) << 16 |
           uint32_t(d.Hour) << 11 | uint32_t(d.Minute) << 5 | uint32_t(d.Second / 2);
}

TDateTime nowDateTime() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return fromTm(tm);
}

std::string formatDateTime(const TDateTime& d) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %02d:%02d", d.Day, d.Month, d.Year, d.Hour, d.Minute);
    return buf;
}

}  // namespace kv
