#pragma once
// TModPlugPlayer: the tracker-module player component over the module library
// (modplug_library.h). It owns one library instance, made from its published settings,
// and passes the library what it needs in the order the library expects.
#include <cstdint>
#include <functional>
#include <string>

#include "tools/music/modplug_library.h"

namespace kv::music {

class TModPlugPlayer {
public:
    TModPlugPlayer() = default;
    ~TModPlugPlayer() { Destroy(); }
    TModPlugPlayer(const TModPlugPlayer&) = delete;
    TModPlugPlayer& operator=(const TModPlugPlayer&) = delete;

    // Published properties.
    bool HideVUmeter = false;
    bool LoopSong = false;
    bool StereoVUmeter = false;
    std::string SongName;
    bool Seek = false;  // kept for old forms; nothing reads it
    int Width = 169;    // the panel the library draws into
    int Height = 49;
    std::uintptr_t WindowHandle = 0;
    std::function<void(TModPlugPlayer&)> OnLoad, OnInit, OnStop;

    // "hidden|false|width|169|height|49|loop|false" and, with a stereo meter, "|controls|stereo".
    std::string parameterString() const;

    // A new library instance from the settings, attached to the panel's window.
    void Initialize();
    // Loads SongName; true when the library reports the song ready.
    bool Load();
    void Play();
    void Stop();
    // The library's positions, their low 16 bits; 0 without an instance.
    int Position() const;
    int Length() const;
    void Destroy();

    ModPlugInstance instance() const { return instance_; }
    bool playing() const { return playing_; }

private:
    ModPlugInstance instance_ = 0;
    bool playing_ = false;
};

}  // namespace kv::music
