// How long the picture viewer takes from the key to the next 12-megapixel JPEG on screen:
// a folder of photo-sized JPEGs made at bench time, a real file panel, the viewer stepping
// with Right and painting. Beside it, the same step through Qt's own JPEG reader at full
// size (what a viewer without a scaled decode would pay), as the ratio.
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QKeyEvent>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "panel/fpanel.h"
#include "viewers/picture_loader.h"
#include "viewers/picture_viewer.h"

namespace {

// A photo-like 4000 x 3000 picture: smooth gradients, shapes and fine noise, so the JPEG has
// a camera's amount of detail (about 2 to 4 MB at quality 90).
QImage photo(int seed) {
    QImage img(4000, 3000, QImage::Format_RGB32);
    std::mt19937 rng{static_cast<unsigned>(seed)};
    std::uniform_int_distribution<int> noise(-12, 12);
    for (int y = 0; y < img.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const int n = noise(rng);
            row[x] = qRgb(std::clamp((x * 255 / 4000) + n, 0, 255), std::clamp((y * 255 / 3000) + n, 0, 255),
                          std::clamp(((x + y + seed * 300) % 512) / 2 + n, 0, 255));
        }
    }
    QPainter p(&img);
    for (int i = 0; i < 40; ++i) {
        p.setBrush(QColor::fromHsv((i * 37 + seed * 11) % 360, 200, 220));
        p.drawEllipse((i * 577) % 3600, (i * 311) % 2600, 200 + i * 7, 150 + i * 5);
    }
    return img;
}

void press(QWidget* w, int key) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier,
                   key == Qt::Key_A   ? "a"
                   : key == Qt::Key_B ? "b"
                                      : "");
    QApplication::sendEvent(w, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(w, &up);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    char tmpl[] = "/tmp/picture_step_bench-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::string dir = tmpl;
    constexpr int kPictures = 8;
    std::size_t bytes = 0;
    for (int i = 0; i < kPictures; ++i) {
        QByteArray jpg;
        QBuffer buf(&jpg);
        buf.open(QIODevice::WriteOnly);
        photo(i).save(&buf, "JPG", 90);
        bytes += std::size_t(jpg.size());
        std::ofstream(dir + "/p" + std::to_string(i) + ".jpg", std::ios::binary)
            .write(jpg.constData(), jpg.size());
    }
    std::printf("%d JPEGs of 4000 x 3000, %.1f MB each on average\n", kPictures, bytes / 1e6 / kPictures);

    kv::TFPanel panel;
    panel.Side = "Left";
    panel.SetDefaults();
    panel.Active = 1;
    panel.SortMethod = kv::srName;
    panel.resize(320, 400);
    panel.CurDir = dir;
    panel.ReadDir();
    panel.show();
    panel.DrawList();
    panel.DrawCursor();

    for (QSize screen : {QSize(1024, 768), QSize(1920, 1080)}) {
        kv::TViewerForm viewer;
        panel.CursorHome();
        panel.CursorDown();  // the first picture, after ".."
        viewer.Start(&panel, {&panel, nullptr});
        viewer.setGeometry(QRect(QPoint(0, 0), screen));
        QApplication::processEvents();
        std::vector<double> steps;
        QElapsedTimer t;
        for (int round = 0; round < 3; ++round) {
            for (int i = 1; i < kPictures; ++i) {
                t.start();
                press(&viewer, Qt::Key_Right);
                viewer.repaint();
                steps.push_back(t.nsecsElapsed() / 1e6);
            }
            for (int i = 1; i < kPictures; ++i) {
                t.start();
                press(&viewer, Qt::Key_Left);
                viewer.repaint();
                steps.push_back(t.nsecsElapsed() / 1e6);
            }
        }
        if (!viewer.message().isEmpty()) std::printf("message: %s\n", viewer.message().toUtf8().constData());
        const double ours = median(steps);
        const double worst = *std::max_element(steps.begin(), steps.end());

        // The peer: Qt's JPEG reader decoding the whole picture, then scaling it to the screen.
        std::vector<double> full;
        for (int i = 0; i < kPictures; ++i) {
            t.start();
            QImage img = QImageReader(QString::fromStdString(dir + "/p" + std::to_string(i) + ".jpg")).read();
            img = img.scaled(screen, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            full.push_back(t.nsecsElapsed() / 1e6);
        }
        const double peer = median(full);
        std::printf(
            "screen %4dx%-4d  step median %6.1f ms, slowest %6.1f ms (goal 100 ms); "
            "full-size Qt decode + scale %6.1f ms; ratio %.2fx\n",
            screen.width(), screen.height(), ours, worst, peer, peer / ours);
        viewer.hide();
    }
    for (int i = 0; i < kPictures; ++i) std::remove((dir + "/p" + std::to_string(i) + ".jpg").c_str());
    ::rmdir(dir.c_str());
    return 0;
}
