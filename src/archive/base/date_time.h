#pragma once
// A plain calendar value for entry dates, and the conversions the archive formats need.
#include <cstdint>
#include <ctime>
#include <string>

namespace kv {

struct TDateTime {
    int Year = 1980, Month = 1, Day = 1, Hour = 0, Minute = 0, Second = 0;
    auto operator<=>(const TDateTime&) const = default;
};

// 1980-01-01 00:00, what an unusable DOS stamp gives.
inline constexpr TDateTime kDosEpoch{};

// DOS date in the high 16 bits, time in the low 16; 0 or an impossible date gives kDosEpoch.
TDateTime dosDateTimeToDateTime(uint32_t dos);
// Unix seconds to local time; 0 gives 1980-01-01 00:01:00 as the old readers did.
TDateTime unixTimeToDateTime(int64_t t);
// Local calendar time to Unix seconds (the local zone of that stamp); -1 if impossible.
int64_t dateTimeToUnixTime(const TDateTime& d);
// Local calendar time to a DOS date/time (years before 1980 clamp to 1980-01-01).
uint32_t dateTimeToDos(const TDateTime& d);
TDateTime nowDateTime();
// "dd.mm.yyyy hh:mm", the way dates are shown everywhere in the program.
std::string formatDateTime(const TDateTime& d);

}  // namespace kv
