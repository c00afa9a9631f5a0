// The file viewer on a 1 GB text file: opening it to the first painted page, End (the last
// page, painted), and a search through the whole file (for text it does not hold, so every
// byte is read) against `grep -c` on the same file with a warm cache. Printed as times and
// ratios; the file is made on the first run and kept (the folder is the first argument).
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "viewers/form_view.h"
#include "viewers/view_pane.h"

namespace {

double seconds(const std::chrono::steady_clock::time_point& t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void makeFile(const std::string& path, std::uint64_t bytes) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && static_cast<std::uint64_t>(st.st_size) >= bytes) return;
    std::printf("making %s ...\n", path.c_str());
    std::ofstream out(path, std::ios::binary);
    std::string chunk;
    for (int i = 0; chunk.size() < (1 << 20); ++i)
        chunk += "2026-12-11 14:" + std::to_string(10 + i % 50) + " host service[" + std::to_string(1000 + i % 9000) +
                 "]: request " + std::to_string(i) + " served in " + std::to_string(i % 97) + " ms\n";
    for (std::uint64_t written = 0; written < bytes; written += chunk.size()) out << chunk;
}

double grepSeconds(const std::string& path, const char* pattern, bool ignoreCase) {
    const std::string cmd = std::string("grep -c ") + (ignoreCase ? "-i " : "") + pattern + " '" + path + "' >/dev/null";
    const auto t0 = std::chrono::steady_clock::now();
    if (std::system(cmd.c_str()) < 0) return 0;
    return seconds(t0);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const std::string folder = argc > 1 ? argv[1] : "/tmp/kv_view_bench";
    ::mkdir(folder.c_str(), 0755);
    const std::string path = folder + "/1g.log";
    makeFile(path, 1ull << 30);
    // Warm the page cache the way the second opening of a file finds it.
    if (std::system(("cat '" + path + "' >/dev/null").c_str()) < 0) return 1;

    std::vector<double> open, end;
    for (int run = 0; run < 5; ++run) {
        const auto t0 = std::chrono::steady_clock::now();
        QString error;
        kv::TFormView* v = kv::TFormView::Open(nullptr, path, &error);
        if (!v) {
            std::printf("cannot open: %s\n", error.toUtf8().constData());
            return 1;
        }
        v->resize(1000, 700);
        v->pane()->grab();  // the first page, painted
        open.push_back(seconds(t0));
        const auto t1 = std::chrono::steady_clock::now();
        QKeyEvent endKey(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
        QApplication::sendEvent(v->pane(), &endKey);
        v->pane()->grab();
        end.push_back(seconds(t1));
        delete v;
    }
    std::printf("open to first painted page: %.2f ms (goal under 50 ms)\n", median(open) * 1e3);
    std::printf("End, painted:               %.2f ms (goal under 50 ms)\n", median(end) * 1e3);

    struct Search {
        const char* label;
        bool matchCase;
    } searches[] = {{"case-sensitive", true}, {"any case", false}};
    for (const Search& s : searches) {
        std::vector<double> ours, grep;
        for (int run = 0; run < 3; ++run) {
            QString error;
            kv::TFormView* v = kv::TFormView::Open(nullptr, path, &error);
            const auto t0 = std::chrono::steady_clock::now();
            v->startSearch({.text = "zqxjv", .matchCase = s.matchCase});
            while (v->searching()) {
                QApplication::processEvents();
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            ours.push_back(seconds(t0));
            delete v;
            grep.push_back(grepSeconds(path, "zqxjv", !s.matchCase));
        }
        std::printf("search 1 GB, %-15s ours %.3f s, grep -c %.3f s: %.2fx grep's time (goal at most 1.2x)\n",
                    s.label, median(ours), median(grep), median(ours) / median(grep));
    }
    return 0;
}
