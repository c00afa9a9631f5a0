#pragma once
// The main window's key map: one row per key the window uses itself, after the menu
// shortcuts and before the command line. Every row whose key, modifiers and condition
// match runs its command, in table order, until a row that stops the key. A key that
// matched any row is a command key: it never also reaches the command line.
#include <Qt>

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace kv {

// What must hold, at the moment the row is reached, for it to match.
enum class KeyCondition : std::uint8_t {
    Always,
    CommandLineEmpty,
    CommandLineHasText,
    HistoryNotEmpty,
    ActivePanelNotInformation,
    VolumeControl,  // the sound system can read and set the volume
    FastFindShown,
};

enum class Keypad : std::uint8_t { Either, Only, Never };

// The Shift/Ctrl/Alt combinations a row accepts, one bit for each of the eight.
using ModSet = std::uint8_t;
inline constexpr ModSet kAnyMods = 0xFF;
constexpr int modIndex(Qt::KeyboardModifiers m) {
    return (m.testFlag(Qt::ShiftModifier) ? 1 : 0) | (m.testFlag(Qt::ControlModifier) ? 2 : 0) |
           (m.testFlag(Qt::AltModifier) ? 4 : 0);
}
constexpr ModSet only(Qt::KeyboardModifiers m) { return static_cast<ModSet>(1u << modIndex(m)); }
constexpr ModSet allBut(Qt::KeyboardModifiers m) { return static_cast<ModSet>(kAnyMods & ~only(m)); }

struct KeyRow {
    int key;  // keypad Enter is matched as Return
    ModSet mods;
    Keypad keypad;
    KeyCondition when;
    const char* command;
    bool stops;  // no later row sees the key
};

const std::vector<KeyRow>& mainKeyMap();

// Runs the rows of `rows` that match; `holds` answers conditions, `run` runs a command.
// True when the key matched a row (a command key).
bool runKeyMap(const std::vector<KeyRow>& rows, int key, Qt::KeyboardModifiers mods,
               const std::function<bool(KeyCondition)>& holds,
               const std::function<void(std::string_view)>& run);

// Whether a row of `rows` is for the key with these modifiers, whatever its condition.
bool keyMapHasRow(const std::vector<KeyRow>& rows, int key, Qt::KeyboardModifiers mods);

}  // namespace kv
