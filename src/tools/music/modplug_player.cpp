#include "tools/music/modplug_player.h"

namespace kv::music {

namespace {
const char* flag(bool b) { return b ? "true" : "false"; }
}  // namespace

std::string TModPlugPlayer::parameterString() const {
    std::string s = std::string("hidden|") + flag(HideVUmeter) + "|width|" + std::to_string(Width) +
                    "|height|" + std::to_string(Height) + "|loop|" + flag(LoopSong);
    if (StereoVUmeter) s += "|controls|stereo";
    return s;
}

void TModPlugPlayer::Initialize() {
    Destroy();
    instance_ = ModPlug_CreateEx(parameterString().c_str());
    ModPlug_SetWindow(instance_, WindowHandle);
    if (OnInit) OnInit(*this);
}

bool TModPlugPlayer::Load() {
    if (instance_ && !SongName.empty()) ModPlug_Load(instance_, SongName.c_str());
    return instance_ && ModPlug_IsReady(instance_) != 0;
}

void TModPlugPlayer::Play() {
    if (!instance_) return;
    ModPlug_Play(instance_);
    playing_ = true;
    if (OnLoad) OnLoad(*this);
}

void TModPlugPlayer::Stop() {
    if (!instance_) return;
    ModPlug_Stop(instance_);
    playing_ = false;
    if (OnStop) OnStop(*this);
}

int TModPlugPlayer::Position() const {
    return instance_ ? ModPlug_GetCurrentPosition(instance_) & 0xFFFF : 0;
}

int TModPlugPlayer::Length() const { return instance_ ? ModPlug_GetMaxPosition(instance_) & 0xFFFF : 0; }

void TModPlugPlayer::Destroy() {
    if (instance_) ModPlug_Destroy(instance_);
    instance_ = 0;
    playing_ = false;
}

}  // namespace kv::music
