#include "tools/music/modplug_library.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "tools/music/decoders.h"
#include "tools/music/playback_engine.h"
#include "tools/music/sound_mixer.h"

namespace kv::music {

namespace {

struct Instance {
    ModPlugParameters params;
    std::uintptr_t window = 0;
    PlaybackEngine engine;
    bool loaded = false;
    uint64_t lengthFrames = 0;
    int rate = 44100;
    std::string error;
};

// Instances by handle; the handle is never reused, so a stale one finds nothing.
struct Registry {
    std::mutex lock;
    std::map<ModPlugInstance, std::unique_ptr<Instance>> all;
    ModPlugInstance next = 1;
};
Registry& registry() {
    static Registry r;
    return r;
}
Instance* find(ModPlugInstance h) {
    Registry& r = registry();
    std::lock_guard lock(r.lock);
    auto it = r.all.find(h);
    return it == r.all.end() ? nullptr : it->second.get();
}

ModPlugParameters parse(const std::string& text) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (;;) {
        const size_t bar = text.find('|', from);
        parts.push_back(text.substr(from, bar == std::string::npos ? std::string::npos : bar - from));
        if (bar == std::string::npos) break;
        from = bar + 1;
    }
    ModPlugParameters p;
    auto number = [](const std::string& s) {
        try {
            return std::stoi(s);
        } catch (...) {
            return 0;
        }
    };
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        const std::string& key = parts[i];
        const std::string& value = parts[i + 1];
        if (key == "hidden")
            p.hidden = value == "true";
        else if (key == "width")
            p.width = number(value);
        else if (key == "height")
            p.height = number(value);
        else if (key == "loop")
            p.loop = value == "true";
        else if (key == "controls")
            p.stereoMeter = value == "stereo";
    }
    return p;
}

int tenths(uint64_t frames, int rate) { return rate > 0 ? int(frames * 10 / uint64_t(rate)) : 0; }

}  // namespace

ModPlugInstance ModPlug_CreateEx(const char* parameters) {
    auto inst = std::make_unique<Instance>();
    inst->params = parse(parameters ? parameters : "");
    Registry& r = registry();
    std::lock_guard lock(r.lock);
    const ModPlugInstance h = r.next++;
    r.all.emplace(h, std::move(inst));
    return h;
}

void ModPlug_SetWindow(ModPlugInstance instance, std::uintptr_t window) {
    if (Instance* i = find(instance)) i->window = window;
}

void ModPlug_Load(ModPlugInstance instance, const char* fileName) {
    Instance* i = find(instance);
    if (!i || !fileName) return;
    i->engine.stop();
    std::string error;
    auto song = openModule(fileName, error, i->params.loop);
    i->loaded = song != nullptr;
    i->error = error;
    i->lengthFrames = song ? song->lengthFrames() : 0;
    i->rate = song ? song->format().rate : 44100;
    // Kept in the engine, not started: Play starts it.
    i->engine.load(std::move(song), soundMixer().word(kWaveChannel));
}

int ModPlug_IsReady(ModPlugInstance instance) {
    Instance* i = find(instance);
    return i && i->loaded ? 1 : 0;
}

void ModPlug_Play(ModPlugInstance instance) {
    Instance* i = find(instance);
    if (i && i->loaded) i->engine.restart();
}

void ModPlug_Stop(ModPlugInstance instance) {
    if (Instance* i = find(instance)) i->engine.stop();
}

int ModPlug_GetCurrentPosition(ModPlugInstance instance) {
    Instance* i = find(instance);
    if (!i || !i->loaded) return 0;
    if (i->engine.state() == PlayState::Finished) return tenths(i->lengthFrames, i->rate);
    return tenths(i->engine.progress().position, i->rate);
}

int ModPlug_GetMaxPosition(ModPlugInstance instance) {
    Instance* i = find(instance);
    return i && i->loaded ? tenths(i->lengthFrames, i->rate) : 0;
}

void ModPlug_Destroy(ModPlugInstance instance) {
    std::unique_ptr<Instance> gone;
    {
        Registry& r = registry();
        std::lock_guard lock(r.lock);
        auto it = r.all.find(instance);
        if (it == r.all.end()) return;
        gone = std::move(it->second);
        r.all.erase(it);
    }
    // gone's engine stops its worker as it goes, outside the registry's lock.
}

bool ModPlug_GetParameters(ModPlugInstance instance, ModPlugParameters& out) {
    Instance* i = find(instance);
    if (!i) return false;
    out = i->params;
    return true;
}

std::string ModPlug_LastLoadError(ModPlugInstance instance) {
    Instance* i = find(instance);
    return i ? i->error : std::string();
}

}  // namespace kv::music
