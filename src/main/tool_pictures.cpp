#include "main/tool_pictures.h"

#include <QPainter>
#include <QPolygon>

namespace kv {

namespace {

const QColor kBlack(0, 0, 0), kWhite(255, 255, 255), kGrey(128, 128, 128), kSilver(192, 192, 192),
    kNavy(0, 0, 128), kBlue(0, 0, 255), kTeal(0, 128, 128), kGreen(0, 128, 0), kLime(0, 255, 0),
    kYellow(255, 255, 0), kOlive(128, 128, 0), kMaroon(128, 0, 0), kRed(255, 0, 0);

QPixmap canvas() {
    QPixmap pm(kPictureWidth, kPictureHeight);
    pm.fill(Qt::transparent);
    return pm;
}

// Filled rectangle with a 1 px outline; x, y, w, h as in the pixel grid.
void box(QPainter& p, int x, int y, int w, int h, const QColor& fill, const QColor& line) {
    p.fillRect(x, y, w, h, line);
    p.fillRect(x + 1, y + 1, w - 2, h - 2, fill);
}

void information(QPainter& p) {
    p.setPen(kNavy);
    p.setBrush(kBlue);
    p.drawEllipse(1, 0, 13, 13);
    p.fillRect(7, 2, 2, 2, kWhite);
    p.fillRect(7, 5, 2, 6, kWhite);
    p.fillRect(6, 10, 4, 1, kWhite);
}

void notePad(QPainter& p) {
    p.setPen(kBlack);
    p.setBrush(kWhite);
    p.drawPolygon(QPolygon({QPoint(2, 0), QPoint(10, 0), QPoint(13, 3), QPoint(13, 14), QPoint(2, 14)}));
    p.drawLine(10, 0, 10, 3);
    p.drawLine(10, 3, 13, 3);
    for (int y = 5; y <= 12; y += 2) p.fillRect(4, y, 7, 1, kNavy);
    // A pencil across the corner.
    p.setPen(kOlive);
    p.drawLine(9, 12, 15, 6);
    p.setPen(kYellow);
    p.drawLine(10, 12, 15, 7);
    p.setPen(kBlack);
    p.drawPoint(9, 13);
}

void sysInfo(QPainter& p) {
    box(p, 1, 0, 14, 11, kSilver, kBlack);
    p.fillRect(3, 2, 10, 7, kTeal);
    p.fillRect(4, 3, 5, 1, kWhite);
    p.fillRect(4, 5, 7, 1, kWhite);
    p.fillRect(6, 11, 4, 2, kGrey);
    p.fillRect(3, 13, 10, 2, kBlack);
    p.fillRect(4, 13, 8, 1, kSilver);
}

void internet(QPainter& p) {
    p.setPen(kNavy);
    p.setBrush(kBlue);
    p.drawEllipse(1, 0, 13, 13);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawPolygon(QPolygon({QPoint(4, 2), QPoint(8, 2), QPoint(8, 5), QPoint(5, 7), QPoint(3, 5)}));
    p.drawPolygon(QPolygon({QPoint(9, 7), QPoint(12, 6), QPoint(12, 10), QPoint(9, 12)}));
    p.setPen(kWhite);
    p.setBrush(Qt::NoBrush);
    p.drawLine(2, 7, 13, 7);
}

void clipboard(QPainter& p) {
    box(p, 1, 1, 12, 14, kOlive, kBlack);
    p.fillRect(3, 3, 8, 10, kWhite);
    for (int y = 5; y <= 11; y += 2) p.fillRect(4, y, 6, 1, kGrey);
    box(p, 4, 0, 6, 3, kSilver, kBlack);
    // A second sheet on the board's right: the other clipboard format.
    box(p, 9, 6, 7, 9, kWhite, kNavy);
}

void disc(QPainter& p, int x, int y, int d) {
    p.setPen(kGrey);
    p.setBrush(kSilver);
    p.drawEllipse(x, y, d, d);
    p.setPen(kWhite);
    p.drawArc(x + 2, y + 2, d - 4, d - 4, 90 * 16, 90 * 16);
    p.setPen(kBlue);
    p.drawArc(x + 2, y + 2, d - 4, d - 4, 270 * 16, 60 * 16);
    p.setPen(kBlack);
    p.setBrush(kWhite);
    const int c = d / 2;
    p.drawEllipse(x + c - 2, y + c - 2, 4, 4);
}

void cdPlayer(QPainter& p) {
    disc(p, 0, 0, 12);
    // A note: it plays music.
    p.fillRect(12, 3, 1, 8, kBlack);
    p.fillRect(13, 3, 2, 1, kBlack);
    p.fillRect(10, 10, 3, 3, kBlack);
}

void calculator(QPainter& p) {
    box(p, 2, 0, 12, 15, kSilver, kBlack);
    p.fillRect(4, 2, 8, 3, kGreen);
    p.fillRect(8, 3, 3, 1, kLime);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            p.fillRect(4 + 3 * c, 7 + 2 * r + r, 2, 2, c == 2 && r == 2 ? kRed : kBlack);
}

void resourceExplorer(QPainter& p) {
    // A program's window, and a magnifying glass over it.
    box(p, 0, 0, 12, 11, kWhite, kBlack);
    p.fillRect(1, 1, 10, 2, kNavy);
    p.fillRect(2, 5, 4, 1, kGrey);
    p.fillRect(2, 7, 6, 1, kGrey);
    p.setPen(kBlack);
    p.setBrush(QColor(0, 255, 255));
    p.drawEllipse(7, 5, 6, 6);
    p.setPen(kMaroon);
    p.drawLine(12, 11, 15, 14);
    p.drawLine(13, 11, 15, 13);
}

void floppy(QPainter& p) {
    p.fillRect(1, 0, 14, 15, kBlack);
    p.fillRect(2, 1, 12, 13, kNavy);
    p.fillRect(4, 1, 8, 5, kSilver);
    p.fillRect(9, 2, 2, 3, kNavy);
    p.fillRect(4, 8, 8, 6, kWhite);
    p.fillRect(5, 10, 6, 1, kGrey);
    p.fillRect(5, 12, 6, 1, kGrey);
}

void hardDisk(QPainter& p) {
    // The drive seen at a slant: top face, then the front with its light.
    p.setPen(kBlack);
    p.setBrush(kSilver);
    p.drawPolygon(QPolygon({QPoint(3, 3), QPoint(15, 3), QPoint(12, 7), QPoint(0, 7)}));
    box(p, 0, 7, 13, 6, kSilver, kBlack);
    p.fillRect(1, 8, 11, 1, kWhite);
    p.fillRect(9, 10, 2, 1, kLime);
    p.fillRect(2, 10, 5, 1, kGrey);
    p.setPen(kBlack);
    p.drawLine(13, 12, 15, 9);
    p.drawLine(15, 3, 15, 9);
    p.fillRect(13, 8, 1, 4, kGrey);
    p.fillRect(14, 5, 1, 5, kGrey);
}

void cdRom(QPainter& p) {
    box(p, 0, 9, 16, 6, kSilver, kBlack);
    p.fillRect(2, 11, 8, 1, kGrey);
    p.fillRect(12, 12, 2, 1, kLime);
    disc(p, 3, 0, 10);
}

}  // namespace

QPixmap toolPicture(int index) {
    QPixmap pm = canvas();
    QPainter p(&pm);
    switch (index) {
        case 0: information(p); break;
        case 1: notePad(p); break;
        case 2: sysInfo(p); break;
        case 3: internet(p); break;
        case 4: clipboard(p); break;
        case 5: cdPlayer(p); break;
        case 6: calculator(p); break;
        case 7: resourceExplorer(p); break;
        default: break;
    }
    return pm;
}

QPixmap drivePicture(platform::DriveKind kind) {
    QPixmap pm = canvas();
    QPainter p(&pm);
    switch (kind) {
        case platform::DriveKind::Removable: floppy(p); break;
        case platform::DriveKind::CdRom: cdRom(p); break;
        case platform::DriveKind::Fixed:
        case platform::DriveKind::Network: hardDisk(p); break;
    }
    return pm;
}

}  // namespace kv
