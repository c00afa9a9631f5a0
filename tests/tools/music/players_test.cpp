#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <map>
#include <fstream>
#include <iterator>
#include <thread>

#include "../../support/temp_dir.h"
#include "music_fixtures.h"
#include "tools/music/decoders.h"
#include "tools/music/modplug_player.h"
#include "tools/music/mpeg_player.h"
#include "tools/music/playback_engine.h"
#include "tools/music/sound_mixer.h"
#include "tools/music/wav_reader.h"

using namespace kv::music;
using namespace kv::test;
using namespace std::chrono_literals;

namespace {

// Every start goes to an unpaced null output, so songs end as fast as they decode.
struct FastSilence {
    FastSilence() {
        setSoundOutputFactory([] { return std::make_unique<NullOutput>(false); });
    }
    ~FastSilence() { setSoundOutputFactory({}); }
};

template <typename Pred>
bool waitFor(Pred done, std::chrono::milliseconds limit = 5s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

std::unique_ptr<PcmSource> sineWav(TempDir& dir, int frames) {
    writeBytes(dir / "s.wav", wave16(sineFrames(frames)));
    std::string error;
    return openWav(dir / "s.wav", error);
}

}  // namespace

TEST(PlaybackEngine, PlaysPausesStopsFinishesAndReplays) {
    TempDir dir;
    // Paced: 0.3 s of sound takes 0.3 s, so the states in between can be seen.
    PlaybackEngine engine([] { return std::make_unique<NullOutput>(true); });
    std::atomic<bool> finished{true};
    ASSERT_TRUE(engine.start(sineWav(dir, 13230), nullptr, &finished));
    EXPECT_EQ(engine.state(), PlayState::Playing);
    EXPECT_FALSE(finished);
    engine.setPaused(true);
    EXPECT_EQ(engine.state(), PlayState::Paused);
    const uint64_t heldAt = engine.progress().position;
    std::this_thread::sleep_for(100ms);
    EXPECT_LE(engine.progress().position, heldAt + 1024) << "a paused engine decodes at most one more chunk";
    engine.setPaused(false);
    ASSERT_TRUE(waitFor([&] { return finished.load(); }));
    EXPECT_EQ(engine.state(), PlayState::Finished);
    EXPECT_EQ(engine.progress().position, 13230u);

    ASSERT_TRUE(engine.restart());
    EXPECT_EQ(engine.state(), PlayState::Playing);
    EXPECT_FALSE(finished) << "a replay clears the flag";
    engine.stop();
    EXPECT_EQ(engine.state(), PlayState::Idle);
    EXPECT_FALSE(finished) << "a stop is not an end";
    EXPECT_LT(engine.progress().position, 13230u);
}

TEST(PlaybackEngine, ScalesByTheMixerChannel) {
    TempDir dir;
    auto out = std::make_shared<std::vector<int16_t>>();
    struct Capture final : SoundOutput {
        std::shared_ptr<std::vector<int16_t>> to;
        int channels = 2;
        bool open(PcmFormat f) override { return channels = f.channels, true; }
        bool write(const int16_t* p, size_t n) override {
            to->insert(to->end(), p, p + n * size_t(channels));
            return true;
        }
        void drain() override {}
        void abort() override {}
        void setPaused(bool) override {}
    };
    PlaybackEngine engine([out] {
        auto c = std::make_unique<Capture>();
        c->to = out;
        return c;
    });
    SoundMixer mixer;
    mixer.setVolume(kWaveChannel, 64);
    writeBytes(dir / "s.wav", wave16({20000, -20000, 100, -100}));
    std::string error;
    std::atomic<bool> done{false};
    engine.start(openWav(dir / "s.wav", error), mixer.word(kWaveChannel), &done);
    ASSERT_TRUE(waitFor([&] { return done.load(); }));
    // 64 x 256 = 0x4000 of 0x10000: a quarter.
    EXPECT_EQ(*out, (std::vector<int16_t>{5000, -5000, 25, -25}));
}

TEST(VolumeArithmetic, DeviceWordsAndChannels) {
    EXPECT_EQ(volumeFromDeviceWord(0x0000FFFF), 127) << "left full, right silent";
    EXPECT_EQ(deviceWordFromVolume(255), 0xFF00FF00u);
    EXPECT_EQ(deviceWordFromVolume(300), 0xFF00FF00u) << "clamped";
    EXPECT_EQ(deviceWordFromVolume(-4), 0u);
    for (int v : {0, 1, 2, 127, 128, 254, 255}) EXPECT_EQ(volumeFromDeviceWord(deviceWordFromVolume(v)), v);
    SoundMixer m(100);
    m.setVolume(kMidiChannel, 40);
    EXPECT_EQ(m.volume(kWaveChannel), 100);
    EXPECT_EQ(m.volume(kMidiChannel), 40);
    EXPECT_EQ(m.volume(3), 0) << "no such channel reads 0";
    m.setVolume(-1, 9);  // and ignores writes
    EXPECT_EQ(m.deviceWord(kCdChannel), deviceWordFromVolume(100));
}

TEST(ModPlugPlayer, ParameterStringAndSongLife) {
    FastSilence silence;
    TModPlugPlayer p;
    p.StereoVUmeter = true;
    p.Width = 217;
    p.Height = 35;
    EXPECT_EQ(p.parameterString(), "hidden|false|width|217|height|35|loop|false|controls|stereo");
    p.StereoVUmeter = false;
    p.HideVUmeter = p.LoopSong = true;
    EXPECT_EQ(p.parameterString(), "hidden|true|width|217|height|35|loop|true");

    // Without an instance every call is ignored.
    int events = 0;
    p.OnLoad = p.OnStop = p.OnInit = [&](TModPlugPlayer&) { ++events; };
    p.Play();
    p.Stop();
    EXPECT_EQ(events, 0);
    EXPECT_EQ(p.Position(), 0);
    EXPECT_FALSE(p.Load());

    TempDir dir;
    writeBytes(dir / "song.mod", trackerModule(16));
    p.LoopSong = false;
    p.Initialize();
    EXPECT_EQ(events, 1) << "OnInit";
    ModPlugParameters made;
    ASSERT_TRUE(ModPlug_GetParameters(p.instance(), made));
    EXPECT_EQ(made.width, 217);
    EXPECT_TRUE(made.hidden);
    p.SongName = dir / "song.mod";
    ASSERT_TRUE(p.Load());
    EXPECT_EQ(p.Length(), 19) << "1.92 s in tenths";
    p.Play();
    EXPECT_TRUE(p.playing());
    ASSERT_TRUE(waitFor([&] { return p.Position() == p.Length(); }));
    p.Stop();
    EXPECT_FALSE(p.playing());
    EXPECT_EQ(events, 3);

    p.SongName = dir / "missing.mod";
    EXPECT_FALSE(p.Load());
    EXPECT_EQ(p.Length(), 0);
    const ModPlugInstance old = p.instance();
    p.Destroy();
    EXPECT_EQ(ModPlug_IsReady(old), 0) << "a destroyed instance is gone";
}

// A stand-in MPEG library that records its calls, to hold the component to the order and
// the arguments it passes.
namespace fake {
std::vector<std::string> calls;
int error = 0;
int initResult = 1;
int playResult = 0;
std::atomic<bool>* finishedFlag = nullptr;
std::string opened, outFile;

int init(void*) { return calls.push_back("init"), initResult; }
void deinit() { calls.push_back("deinit"); }
int open(const char* name, int mode, mpeglib::StreamOpenFn o, mpeglib::StreamCloseFn,
         mpeglib::StreamRestartFn, mpeglib::StreamReadFn, mpeglib::StreamSeekFn, mpeglib::StreamSizeFn,
         void* ctx) {
    calls.push_back("Open " + std::to_string(mode));
    if (mode == 0) opened = name;
    if (mode == 1) {
        int ns = 0;
        if (!o(ctx, &ns)) error = 3;
    }
    return 1;
}
void pause(int play) { calls.push_back("Pause " + std::to_string(play)); }
void restart(int from) { calls.push_back("Restart " + std::to_string(from)); }
void stop() { calls.push_back("Stop"); }
void setPriority(int p) { calls.push_back("SetPriority " + std::to_string(p)); }
void setOutputDevice(int d, const char* f) {
    calls.push_back("SetOutputDevice " + std::to_string(d));
    outFile = f;
}
int play(int s, int e, std::atomic<bool>* finished) {
    calls.push_back("Play " + std::to_string(s) + " " + std::to_string(e));
    finishedFlag = finished;
    return playResult;
}
void close() { calls.push_back("Close"); }
int zero() { return 0; }
int pos(int) { return 500; }
int len(int) { return 1000; }
void reset() {}
int seek(int) { return 1; }
int lastError() { return std::exchange(error, 0); }

struct Module final : mpeglib::Module {
    std::string missing;
    void* resolve(const char* n) override {
        const std::string name = n;
        if (name == missing) return nullptr;
        static const std::map<std::string, void*> e = {
            {"init", (void*)&init},
            {"deinit", (void*)&deinit},
            {"Open", (void*)&open},
            {"Pause", (void*)&pause},
            {"Restart", (void*)&restart},
            {"Stop", (void*)&stop},
            {"SetPriority", (void*)&setPriority},
            {"SetOutputDevice", (void*)&setOutputDevice},
            {"Play", (void*)&play},
            {"Close", (void*)&close},
            {"GetFrequency", (void*)&zero},
            {"GetBitrate", (void*)&zero},
            {"GetLayer", (void*)&zero},
            {"GetPlayerMode", (void*)&zero},
            {"GetCurrentPos", (void*)&pos},
            {"GetLength", (void*)&len},
            {"ResetPlayerMode", (void*)&reset},
            {"Seek", (void*)&seek},
            {"LastError", (void*)&lastError},
        };
        auto it = e.find(name);
        return it == e.end() ? nullptr : it->second;
    }
};
}  // namespace fake

namespace {
mpeglib::Loader fakeLoader(std::string* askedFor = nullptr, std::string missing = {}) {
    fake::calls.clear();
    fake::error = 0;
    fake::initResult = 1;
    fake::playResult = 0;
    return [askedFor, missing](const std::string& file) -> std::unique_ptr<mpeglib::Module> {
        if (askedFor) *askedFor = file;
        auto m = std::make_unique<fake::Module>();
        m->missing = missing;
        return m;
    };
}
uint8_t codeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const TMPEGError& e) {
        return e.code();
    }
    return 255;
}
}  // namespace

TEST(MpegPlayer, LibraryFileNamesAndPriorities) {
    EXPECT_EQ(mpegLibraryFileName("C:\\"), "C:\\mpegdll.dll");
    EXPECT_EQ(mpegLibraryFileName("C:"), "C:mpegdll.dll");
    EXPECT_EQ(mpegLibraryFileName("C:\\Prog"), "C:\\Prog\\mpegdll.dll");
    EXPECT_EQ(mpegLibraryFileName(""), "mpegdll.dll");
    EXPECT_EQ(mpegLibraryFileName("/opt/kv"), "/opt/kv/mpegdll.dll");
    const int expect[] = {-15, -2, -1, 0, 1, 2, 15};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(priorityValue(TPlayerPriority(i)), expect[i]);
}

TEST(MpegPlayer, FailsWithTheLibrarysCodes) {
    TMPEGPlayer unloaded(fakeLoader());
    EXPECT_EQ(codeOf([&] { unloaded.Open(); }), 0) << "nothing loaded";
    EXPECT_EQ(codeOf([&] { unloaded.Position(); }), 0);

    TMPEGPlayer noFile([](const std::string&) { return nullptr; });
    try {
        noFile.LoadLibrary();
        ADD_FAILURE();
    } catch (const TMPEGError& e) {
        EXPECT_STREQ(e.what(), "Can't load MPEG library");
    }

    TMPEGPlayer missing(fakeLoader(nullptr, "Seek"));
    EXPECT_EQ(codeOf([&] { missing.LoadLibrary(); }), 0);
    EXPECT_FALSE(missing.loaded());
    EXPECT_TRUE(fake::calls.empty()) << "init is not called without every entry point";

    TMPEGPlayer refuses(fakeLoader());
    fake::initResult = 0;
    fake::error = 5;
    EXPECT_EQ(codeOf([&] { refuses.LoadLibrary(); }), 5);
    EXPECT_FALSE(refuses.loaded());

    TMPEGPlayer p(fakeLoader());
    p.LoadLibrary();
    try {
        p.Open();
        ADD_FAILURE();
    } catch (const TMPEGError& e) {
        EXPECT_EQ(e.code(), 254);
        EXPECT_STREQ(e.what(), "Can't play non-specified stream");
    }
    EXPECT_EQ(codeOf([&] { p.Restart(); }), 2) << "no stream open";
    EXPECT_EQ(codeOf([&] { p.Pause(true); }), 2) << "not playing";
    EXPECT_EQ(codeOf([&] { p.Pause(false); }), 255) << "unpausing what does not play is no error";
    p.FromStream = true;  // no open handler: the stream reports false, the library error 3
    EXPECT_EQ(codeOf([&] { p.Open(); }), 3);
    EXPECT_FALSE(p.opened());
}

TEST(MpegPlayer, PassesItsSettingsInOrderAndRestartsASecondPlay) {
    std::string asked;
    TMPEGPlayer p(fakeLoader(&asked));
    p.PathToDLL = "C:\\Prog";
    p.PlayerPriority = TPlayerPriority::Highest;
    p.OutputDevice = TOutputDevice::PcmFile;  // without a file name still device 0
    int timerStarts = 0, ends = 0;
    std::vector<std::pair<int, int>> reports;
    p.StartTimer = [&](int ms) { timerStarts += ms == 100; };
    p.OnPosUpdate = [&](int pos, int len) { reports.emplace_back(pos, len); };
    p.OnPlayEnd = [&](TMPEGPlayer&) { ++ends; };
    p.LoadLibrary();
    EXPECT_EQ(asked, "C:\\Prog\\mpegdll.dll");
    p.setStreamName("/music/a.mp3");
    p.StartPos = 10;
    p.EndPos = 900;
    p.Play();  // opens first
    EXPECT_EQ(fake::opened, "/music/a.mp3");
    EXPECT_EQ(p.PlayedXTimes, 2);
    EXPECT_EQ(fake::calls, (std::vector<std::string>{"init", "Open 0", "SetPriority 2", "SetOutputDevice 0",
                                                     "Play 10 900"}));
    EXPECT_EQ(timerStarts, 1);
    ASSERT_EQ(reports.size(), 1u) << "one report at once";
    EXPECT_EQ(reports[0], std::make_pair(500, 1000));
    ASSERT_NE(fake::finishedFlag, nullptr);
    *fake::finishedFlag = true;  // the library's thread says the end
    p.TimerTick();
    EXPECT_FALSE(p.playing());
    EXPECT_EQ(ends, 1);
    EXPECT_FALSE(p.finished()) << "the handler cleared it";

    fake::calls.clear();
    p.Play();
    EXPECT_EQ(fake::calls, (std::vector<std::string>{"Restart 0"})) << "a stream played before restarts";
    EXPECT_EQ(p.PlayedXTimes, 3);
    p.Pause(true);
    p.Play();  // resumes
    EXPECT_EQ(fake::calls, (std::vector<std::string>{"Restart 0", "Pause 0", "Pause 1"}));

    p.OutFilename = "/tmp/out.pcm";
    EXPECT_EQ(p.deviceCode(), 2);
    p.setStreamName("/music/b.mp3");  // closes the open stream
    EXPECT_EQ(fake::calls.back(), "Close");
    EXPECT_FALSE(p.opened());
    EXPECT_EQ(p.PlayedXTimes, 0);
    fake::playResult = 1;
    EXPECT_EQ(codeOf([&] { p.Play(); }), 1) << "a refused Play fails";
    EXPECT_EQ(fake::outFile, "/tmp/out.pcm");
    p.setTimerFreq(0);
    EXPECT_FALSE(p.UseTimer);
    p.UnloadLibrary();
    EXPECT_EQ(fake::calls.back(), "deinit");
    EXPECT_EQ(codeOf([&] { p.Play(); }), 0);
}

TEST(MpegPlayer, BuiltInLibraryPlaysAnMp3ToItsEndAndAgain) {
    FastSilence silence;
    TempDir dir;
    writeBytes(dir / "sine.wav", wave16(sineFrames(22050)));
    if (!encodeMp3(dir / "sine.wav", dir / "sine.mp3")) GTEST_SKIP() << "lame is not installed";
    TMPEGPlayer p;
    int ends = 0;
    p.OnPlayEnd = [&](TMPEGPlayer&) { ++ends; };
    p.LoadLibrary();
    p.setStreamName(dir / "sine.mp3");
    p.Open();
    EXPECT_EQ(p.Length(), 500) << "half a second, in ms";
    p.EndPos = p.Length();
    p.Play();
    ASSERT_TRUE(waitFor([&] {
        p.TimerTick();
        return ends == 1;
    }));
    EXPECT_EQ(p.Position(), 500);
    p.Play();  // the second play restarts the stream
    EXPECT_TRUE(p.playing());
    ASSERT_TRUE(waitFor([&] {
        p.TimerTick();
        return ends == 2;
    }));
    p.Close();

    // The PCM-file device: the decoded frames, byte for byte what the decoder gives.
    p.OutputDevice = TOutputDevice::PcmFile;
    p.OutFilename = dir / "out.pcm";
    p.Play();
    ASSERT_TRUE(waitFor([&] {
        p.TimerTick();
        return ends == 3;
    }));
    p.Close();
    std::ifstream in(dir / "out.pcm", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string error;
    auto direct = openMpeg(dir / "sine.mp3", error);
    std::vector<int16_t> pcm(22050 * 2);
    ASSERT_EQ(direct->read(pcm.data(), 22050), 22050u);
    ASSERT_EQ(bytes.size(), 22050u * 4);
    std::vector<int16_t> written(bytes.size() / 2);
    std::memcpy(written.data(), bytes.data(), bytes.size());
    EXPECT_EQ(fnv1a(written), fnv1a(pcm));
}

TEST(MpegPlayer, StreamModeReadsThroughTheEvents) {
    FastSilence silence;
    TempDir dir;
    writeBytes(dir / "sine.wav", wave16(sineFrames(11025)));
    if (!encodeMp3(dir / "sine.wav", dir / "sine.mp3")) GTEST_SKIP() << "lame is not installed";
    std::ifstream in(dir / "sine.mp3", std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t at = 0;
    int opens = 0, closes = 0, ends = 0;
    TMPEGPlayer p;
    p.FromStream = true;
    p.OnOpenStream = [&](TMPEGPlayer&, bool& nonseekable) {
        nonseekable = false;
        at = 0;
        return ++opens, true;
    };
    p.OnCloseStream = [&](TMPEGPlayer&) { ++closes; };
    p.OnReadStream = [&](TMPEGPlayer&, void* buf, uint32_t n, uint32_t& read, bool& res) {
        read = uint32_t(std::min<size_t>(n, data.size() - at));
        std::memcpy(buf, data.data() + at, read);
        at += read;
        res = true;
    };
    p.OnSeekStream = [&](TMPEGPlayer&, long off, int whence, long& res) {
        const long base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? long(at) : long(data.size());
        if (base + off < 0 || size_t(base + off) > data.size()) return;
        at = size_t(base + off);
        res = long(at);
    };
    p.OnPlayEnd = [&](TMPEGPlayer&) { ++ends; };
    p.LoadLibrary();
    p.Open();
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(p.Length(), 250);
    p.Play();
    ASSERT_TRUE(waitFor([&] {
        p.TimerTick();
        return ends == 1;
    }));
    p.Close();
    EXPECT_EQ(closes, 1);
}
