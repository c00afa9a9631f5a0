#pragma once
// The tracker-module player library: an instance per player component, made from a
// parameter string, that loads one song and plays it into the sound output. Songs are
// decoded by libopenmpt. Positions are counted in tenths of a second.
//
// Parameter string: "key|value|key|value|..."; the keys read are hidden, width, height,
// loop ("true"/"false") and controls ("stereo" for a stereo level meter). The library
// draws nothing itself here: the main window keeps the player's control hidden.
#include <cstdint>
#include <string>

namespace kv::music {

using ModPlugInstance = std::uintptr_t;  // 0: none

ModPlugInstance ModPlug_CreateEx(const char* parameters);
void ModPlug_SetWindow(ModPlugInstance instance, std::uintptr_t window);
void ModPlug_Load(ModPlugInstance instance, const char* fileName);
int ModPlug_IsReady(ModPlugInstance instance);
void ModPlug_Play(ModPlugInstance instance);
void ModPlug_Stop(ModPlugInstance instance);
int ModPlug_GetCurrentPosition(ModPlugInstance instance);
int ModPlug_GetMaxPosition(ModPlugInstance instance);
void ModPlug_Destroy(ModPlugInstance instance);

// What an instance was made with, for those who look (the tests, a drawn control).
struct ModPlugParameters {
    bool hidden = false;
    int width = 0;
    int height = 0;
    bool loop = false;
    bool stereoMeter = false;
};
bool ModPlug_GetParameters(ModPlugInstance instance, ModPlugParameters& out);
// Why the last load of the instance failed; empty after a good one.
std::string ModPlug_LastLoadError(ModPlugInstance instance);

}  // namespace kv::music
