// Big and busy folders in the panel: a folder of 10^5 and 10^6 files entered in a live panel
// (time to the first paint, time to the whole sorted listing, the longest stall of the event
// loop, peak memory) against `find -printf` (lstat only) and `ls -l -U` on the same folder;
// then each folder receiving 1000 creates a second for 10 s: the longest stall and the
// number of full re-reads. Each measurement runs in its own process, so peak memory is its own.
//
//   big_folder_bench [count ...]          (default: 100000 1000000, in fresh temporary folders)
//   big_folder_bench --dir FOLDER         (an existing folder; the busy phase, which adds
//                                          10 000 files to it, only with KV_BENCH_BUSY=1)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "panel/fpanel.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

long peakRssKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

long rssKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

void makeFiles(const std::string& dir, int from, int count) {
    const char* exts[] = {"txt", "cpp", "h", "jpg", "zip", "", "tar.gz", "EXE"};
    for (int i = from; i < from + count; ++i) {
        char name[512];
        const char* e = exts[(i * 7) % 8];
        std::snprintf(name, sizeof name, "%s/f%07d%s%s", dir.c_str(), i, *e ? "." : "", e);
        const int fd = ::open(name, O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd >= 0) ::close(fd);
    }
}

// Runs `f` in a child process and waits for it.
template <class F>
void inChild(F&& f) {
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid == 0) {
        f();
        std::fflush(stdout);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
}

double timeCommand(const std::string& cmd) {
    const auto t0 = Clock::now();
    if (std::system(cmd.c_str()) != 0) std::printf("  (%s failed)\n", cmd.c_str());
    return msSince(t0);
}

// A timer that asks to run every 5 ms and notes how late it comes: the event loop's stalls.
struct StallMeter {
    QTimer timer;
    QElapsedTimer last;
    qint64 worst = 0;
    StallMeter() {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 late = last.restart() - 5;
            worst = std::max(worst, late);
        });
        last.start();
        timer.start();
    }
};

// One turn of the event loop that sleeps until something happens, as kv's own loop does
// (the stall meter's timer wakes it every 5 ms). Polling without sleeping would keep a
// core busy and take it from the workers being measured.
void waitForEvents(QApplication& app) {
    app.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

struct PaintWatch : QObject {
    Clock::time_point t0;
    double first = -1, last = -1;
    // The first paint once the panel holds its listing (the job and its paint can both
    // fall in one turn of the event loop, so the panel's state is read at the paint).
    const kv::TFPanel* panel = nullptr;
    double listing = -1;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            last = msSince(t0);
            if (first < 0) first = last;
            if (listing < 0 && panel && !panel->Reading()) listing = last;
        }
        return QObject::eventFilter(o, e);
    }
};

std::unique_ptr<kv::TFPanel> makePanel() {
    auto p = std::make_unique<kv::TFPanel>();
    p->Side = "Right";
    p->SetDefaults();
    p->Active = 1;
    p->resize(400, 600);
    p->CurDir = "/";
    p->ReadDir();
    p->show();
    return p;
}

void enterFolder(const std::string& dir, std::size_t count) {
    int argc = 1;
    char arg0[] = "big_folder_bench";
    char* argv[] = {arg0, nullptr};
    QApplication app(argc, argv);
    auto panel = makePanel();
    for (int i = 0; i < 20; ++i) app.processEvents();
    const long rssBefore = rssKb();
    PaintWatch paints;
    paints.panel = panel.get();
    panel->installEventFilter(&paints);
    StallMeter stalls;
    paints.t0 = Clock::now();
    panel->CurDir = dir;
    panel->ReadDir();
    panel->DrawList();
    double listed = -1;
    while (listed < 0 || paints.listing < 0) {
        waitForEvents(app);
        if (listed < 0 && !panel->Reading()) listed = msSince(paints.t0);
        if (msSince(paints.t0) > 600000) break;
    }
    const double firstPaint = paints.first;
    const double listingPaint = paints.listing;
    std::printf(
        "  panel: first paint %.0f ms, sorted listing in %.0f ms (painted %.0f ms), %d entries, "
        "longest stall %lld ms\n",
        firstPaint, listed, listingPaint, panel->FilesCount, static_cast<long long>(stalls.worst));
    std::printf(
        "  memory: listing %.1f bytes/entry held, peak RSS %ld MB (%.0f bytes/entry over the start)\n",
        static_cast<double>(panel->FL.memoryBytes()) / std::max<std::size_t>(1, count), peakRssKb() / 1024,
        (peakRssKb() - rssBefore) * 1024.0 / static_cast<double>(std::max<std::size_t>(1, count)));
}

void busyFolder(const std::string& dir) {
    int argc = 1;
    char arg0[] = "big_folder_bench";
    char* argv[] = {arg0, nullptr};
    QApplication app(argc, argv);
    auto panel = makePanel();
    panel->CurDir = dir;
    panel->ReadDir();
    while (panel->Reading()) waitForEvents(app);
    panel->RestartMonitor();
    for (int i = 0; i < 20; ++i) app.processEvents();
    StallMeter stalls;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        // 1000 creates a second: ten every 10 ms, for 10 s.
        auto next = Clock::now();
        for (int tick = 0; tick < 1000; ++tick) {
            makeFiles(dir, 5000000 + tick * 10, 10);
            next += std::chrono::milliseconds(10);
            std::this_thread::sleep_until(next);
        }
        done = true;
    });
    const auto t0 = Clock::now();
    while (!done || msSince(t0) < 10500) waitForEvents(app);
    writer.join();
    for (int i = 0; i < 50; ++i) {
        app.processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kv::TDirectory full;
    full.SortType = panel->SortMethod;
    full.Read(dir);
    bool same = full.FilesCount() == panel->FL.FilesCount();
    for (int i = 1; same && i <= full.FilesCount(); ++i)
        same = full.displayName(i) == panel->FL.displayName(i);
    const auto& st = panel->Stats();
    std::printf(
        "  busy folder, 10 000 creates in 10 s: longest stall %lld ms, %d updates (%zu names), "
        "%d full re-reads, listing %s a full read\n",
        static_cast<long long>(stalls.worst), st.batches, st.names, st.fullRereads,
        same ? "equals" : "DIFFERS from");
}

void measure(const std::string& dir, std::size_t count, bool busy) {
    std::printf("%s (%zu entries)\n", dir.c_str(), count);
    for (int run = 0; run < 2; ++run) {
        const double find = timeCommand("find '" + dir + "' -maxdepth 1 -printf '%s %T@ %f\\n' > /dev/null");
        const double ls = timeCommand("ls -l -U '" + dir + "' > /dev/null");
        std::printf("  find -printf %.0f ms, ls -l -U %.0f ms\n", find, ls);
    }
    for (int run = 0; run < 2; ++run) {
        inChild([&] {
            const auto t0 = Clock::now();
            kv::TDirectory fl;
            fl.Read(dir);
            std::printf("  TDirectory::Read (read, stat on all cores, sort) %.0f ms, peak RSS %ld MB\n",
                        msSince(t0), peakRssKb() / 1024);
        });
    }
    for (int run = 0; run < 2; ++run) inChild([&] { enterFolder(dir, count); });
    if (busy) inChild([&] { busyFolder(dir); });
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::printf("%u cores\n", std::thread::hardware_concurrency());
    if (argc == 3 && std::string(argv[1]) == "--dir") {
        std::size_t n = 0;
        for (auto it = std::filesystem::directory_iterator(argv[2]);
             it != std::filesystem::directory_iterator(); ++it)
            ++n;
        measure(argv[2], n, std::getenv("KV_BENCH_BUSY") != nullptr);
        return 0;
    }
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
    if (counts.empty()) counts = {100000, 1000000};
    for (int count : counts) {
        std::string tmpl = (std::filesystem::temp_directory_path() / "kv-bigfolder-XXXXXX").string();
        const std::string dir = ::mkdtemp(tmpl.data());
        makeFiles(dir, 0, count);
        measure(dir, static_cast<std::size_t>(count), true);
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    return 0;
}
