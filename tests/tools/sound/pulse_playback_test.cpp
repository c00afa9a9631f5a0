// The real sound path: our Qt output plays into a PulseAudio server of the test's own (a
// null sink in a temporary runtime folder), and the sink's monitor, recorded with parec,
// has to hold the sound for as long as it lasts.
#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "../../support/temp_dir.h"
#include "../music/music_fixtures.h"
#include "tools/music/decoders.h"
#include "tools/music/modplug_player.h"
#include "tools/music/mpeg_player.h"
#include "tools/music/playback_engine.h"
#include "tools/music/wav_reader.h"
#include "tools/sound/qt_sound_output.h"

extern char** environ;

using namespace kv::music;
using namespace kv::test;

namespace {

pid_t spawn(const std::vector<std::string>& args, const std::string& out = {}) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, out.empty() ? "/dev/null" : out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

void end(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
}

bool run(const std::string& cmd) { return std::system(cmd.c_str()) == 0; }

// What the monitor heard: the span between the first and the last sample above a threshold.
struct Heard {
    double recordedSeconds = 0;
    double audibleSeconds = 0;
    std::string soxStat;
};

Heard analyse(const std::string& raw) {
    std::ifstream in(raw, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t n = bytes.size() / 2;
    std::vector<int16_t> s(n);
    std::memcpy(s.data(), bytes.data(), n * 2);
    Heard h;
    h.recordedSeconds = double(n) / 2 / 44100;
    size_t first = n, last = 0;
    for (size_t i = 0; i < n; ++i)
        if (std::abs(int(s[i])) > 300) {
            first = std::min(first, i);
            last = i;
        }
    if (first < n) h.audibleSeconds = double(last - first) / 2 / 44100;
    const std::string cmd = "sox -t raw -r 44100 -e signed -b 16 -c 2 '" + raw + "' -n stat 2>&1";
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char line[256];
        while (fgets(line, sizeof line, p)) h.soxStat += line;
        pclose(p);
    }
    return h;
}

double soxValue(const std::string& stat, const std::string& key) {
    const size_t at = stat.find(key);
    if (at == std::string::npos) return -1;
    return std::atof(stat.c_str() + stat.find(':', at) + 1);
}

class PulsePlayback : public ::testing::Test {
protected:
    void SetUp() override {
        if (!run("command -v pulseaudio >/dev/null && command -v parec >/dev/null && command -v sox "
                 ">/dev/null"))
            GTEST_SKIP() << "pulseaudio, parec or sox is not installed";
        dir_ = std::make_unique<TempDir>("kvpulse");
        const std::string rt = dir_->path();
        setenv("XDG_RUNTIME_DIR", rt.c_str(), 1);
        setenv("PULSE_RUNTIME_PATH", (rt + "/pulse").c_str(), 1);
        setenv("HOME", rt.c_str(), 1);  // its cookie and state stay in the temporary folder
        socket_ = rt + "/native";
        setenv("PULSE_SERVER", ("unix:" + socket_).c_str(), 1);
        server_ = spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--system=false", "-F",
                         "/dev/null", "--disable-shm=yes", "-L", "module-null-sink sink_name=kvnull", "-L",
                         "module-native-protocol-unix auth-anonymous=1 socket=" + socket_});
        bool up = false;
        for (int i = 0; i < 50 && server_ > 0 && !up; ++i) {
            usleep(100000);
            up = run("pactl info >/dev/null 2>&1");
        }
        if (!up) {
            end(server_);
            GTEST_SKIP() << "the test's PulseAudio server did not start";
        }
        if (!qApp) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            static int argc = 1;
            static char name[] = "sound_tests";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv);
        }
        output_ = kv::sound::makeQtSoundOutput();
        if (!output_) {
            end(server_);
            GTEST_SKIP() << "Qt sees no output device on the test's server";
        }
        output_.reset();
        kv::sound::installQtSoundOutput();
    }
    void TearDown() override {
        setSoundOutputFactory({});
        end(recorder_);
        end(server_);
    }

    void record() {
        raw_ = (*dir_) / "heard.raw";
        recorder_ = spawn({"parec", "-d", "kvnull.monitor", "--raw", "--format=s16le", "--rate=44100",
                           "--channels=2", "--latency-msec=20"},
                          raw_);
        QTest::qWait(300);  // the recorder is connected before the sound starts
    }
    Heard stopRecording() {
        QTest::qWait(300);
        end(recorder_);
        return analyse(raw_);
    }

    std::unique_ptr<TempDir> dir_;
    std::string socket_, raw_;
    pid_t server_ = -1, recorder_ = -1;
    std::unique_ptr<SoundOutput> output_;
};

void expectHeard(const Heard& h, double seconds, const char* what) {
    std::fprintf(stderr, "[ measured ] %s: recorded %.2f s, audible %.2f s, sox RMS %.4f, max %.4f\n", what,
                 h.recordedSeconds, h.audibleSeconds, soxValue(h.soxStat, "RMS     amplitude"),
                 soxValue(h.soxStat, "Maximum amplitude"));
    EXPECT_NEAR(h.audibleSeconds, seconds, 0.25) << what;
    EXPECT_GT(soxValue(h.soxStat, "RMS     amplitude"), 0.02) << what << "\n" << h.soxStat;
}

}  // namespace

TEST_F(PulsePlayback, WaveModuleAndMp3AreHeardOnTheSinkForTheirLength) {
    writeBytes((*dir_) / "tone.wav", wave16(sineFrames(44100)));
    {
        std::string error;
        PlaybackEngine engine;
        record();
        ASSERT_TRUE(engine.start(openWav((*dir_) / "tone.wav", error)));
        ASSERT_TRUE(QTest::qWaitFor([&] { return engine.state() == PlayState::Finished; }, 5000));
        expectHeard(stopRecording(), 1.0, "wave, 1 s");
    }
    {
        writeBytes((*dir_) / "song.mod", trackerModule(16));
        TModPlugPlayer mod;
        mod.Initialize();
        mod.SongName = (*dir_) / "song.mod";
        ASSERT_TRUE(mod.Load());
        record();
        mod.Play();
        ASSERT_TRUE(QTest::qWaitFor([&] { return mod.Position() == mod.Length(); }, 5000));
        QTest::qWait(300);  // the tail the sink still holds
        expectHeard(stopRecording(), 1.92, "module, 1.92 s");
    }
    {
        if (!encodeMp3((*dir_) / "tone.wav", (*dir_) / "tone.mp3")) GTEST_SKIP() << "lame is not installed";
        TMPEGPlayer mp3;
        bool ended = false;
        mp3.OnPlayEnd = [&](TMPEGPlayer&) { ended = true; };
        mp3.LoadLibrary();
        mp3.setStreamName((*dir_) / "tone.mp3");
        mp3.Open();
        record();
        mp3.Play();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                mp3.TimerTick();
                return ended;
            },
            5000));
        expectHeard(stopRecording(), 1.0, "MP3, 1 s");
        mp3.Close();
    }
}
