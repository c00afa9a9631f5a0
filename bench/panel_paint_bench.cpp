// Painting and paging must cost what the visible page costs, not what the folder holds:
// one full paint of a page and one PageRight (which scrolls and repaints) with 100 and
// with 100 000 entries, in the brief and the full view. Prints times and the ratio
// 100 000 / 100 (goal: under 2).
#include <QApplication>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "panel/fpanel.h"

namespace {

using Clock = std::chrono::steady_clock;

void fill(kv::TFPanel& p, int n) {
    std::vector<kv::platform::DirItem> items;
    items.reserve(static_cast<std::size_t>(n));
    const char* exts[] = {".txt", ".cpp", ".jpg", "", ".zip"};
    for (int i = 0; i < n; ++i) {
        kv::platform::DirItem d;
        d.name = "entry" + std::to_string(i) + exts[i % 5];
        d.attr = i % 20 == 0 ? kv::platform::faDirectory : kv::platform::faArchive;
        d.size = i * 37;
        d.written.Year = 2024;
        d.written.Month = 1 + i % 12;
        d.written.Day = 1 + i % 28;
        items.push_back(d);
    }
    p.FL.SortType = kv::srName;
    p.FL.Build("/bench", std::move(items));
    p.FilesCount = p.FL.FilesCount();
    p.CurDir = "/bench";
    // Both sizes show a full page (100 entries fill the page of a 640 x 600 panel).
    p.PosList = 0;
    p.Bar_Pos = 0;
    p.clampCursor();
    p.DrawCursor();
}

// Median microseconds of `runs` calls.
template <class F>
double median(F&& f, int runs = 301) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        f();
        t.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

struct Result {
    double paint, page;
};

Result measure(int style, int n) {
    kv::TFPanel p;
    p.Side = style == 3 ? "Right" : "Left";
    p.SetDefaults();
    p.Active = 1;
    p.resize(640, 600);
    p.ApplyFont();
    fill(p, n);
    QImage img(p.size(), QImage::Format_RGB32);
    Result r{};
    r.paint = median([&] { p.render(&img); });
    r.page = median([&] {
        // From the last cell, PageRight scrolls; the paint shows the new page.
        p.Bar_Pos = p.pageSize() - 1;
        if (p.PosList + p.pageSize() >= p.FilesCount) p.PosList = 0;
        p.PageRight();
        p.render(&img);
    });
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    for (int style : {1, 3}) {
        const Result small = measure(style, 100);
        const Result big = measure(style, 100000);
        std::printf("style %d  page paint: %8.1f us (100)  %8.1f us (100000)  ratio %.2f\n", style,
                    small.paint, big.paint, big.paint / small.paint);
        std::printf("style %d  PageRight : %8.1f us (100)  %8.1f us (100000)  ratio %.2f\n", style,
                    small.page, big.page, big.page / small.page);
    }
    return 0;
}
