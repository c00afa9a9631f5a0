// The JPEG decoder (libjpeg-turbo at a DCT scale), the layout rule, and every format the
// viewer reads decoding to the pixels it was made of.
#include <gtest/gtest.h>

#include <QFile>

#include <cstdlib>
#include <span>

#include "picture_fixtures.h"
#include "support/temp_dir.h"
#include "viewers/picture_decode.h"
#include "viewers/picture_loader.h"

namespace kv::viewers {
namespace {

std::span<const std::uint8_t> bytesOf(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

QColor at(const DecodedPicture& d, int x, int y) {
    return QColor::fromRgb(d.pixels[std::size_t(y) * std::size_t(d.width) + std::size_t(x)]);
}

// Flat JPEG areas come back within a few steps of what was coded.
void expectNear(const QColor& got, const QColor& want, int tolerance = 8) {
    EXPECT_NEAR(got.red(), want.red(), tolerance)
        << got.name().toStdString() << " vs " << want.name().toStdString();
    EXPECT_NEAR(got.green(), want.green(), tolerance);
    EXPECT_NEAR(got.blue(), want.blue(), tolerance);
}

void expectQuadrants(const QImage& img, int tolerance) {
    ASSERT_FALSE(img.isNull());
    const int w = img.width(), h = img.height();
    const QPoint centres[4] = {
        {w / 4, h / 4}, {3 * w / 4, h / 4}, {w / 4, 3 * h / 4}, {3 * w / 4, 3 * h / 4}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        expectNear(img.pixelColor(centres[i]), test::kQuadrants[i], tolerance);
    }
}

TEST(PictureLayout, FitsWithoutEnlargingAndCentres) {
    struct Row {
        int w, h;
        PictureRect want;
    } rows[] = {
        {100, 50, {462, 359, 100, 50}},     // smaller than the screen: natural size, centred
        {2000, 1000, {0, 128, 1024, 512}},  // too wide: width fits, proportions kept
        {1000, 3000, {384, 0, 256, 768}},   // too tall only: height fits
        {1024, 768, {0, 0, 1024, 768}},
        {4000, 3000, {0, 0, 1024, 768}},
        {0, 10, {0, 0, 0, 0}},  // no picture: nothing to place (no division by zero)
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.w) + "x" + std::to_string(r.h));
        EXPECT_EQ(layoutPicture(r.w, r.h, 1024, 768), r.want);
    }
}

TEST(PictureLayout, ScaleDenominatorIsTheLargestThatStillCoversTheScreen) {
    struct Row {
        int w, h, fitW, fitH, want;
    } rows[] = {
        {4000, 3000, 1024, 768, 2},  // 1/4 would give 1000 x 750, smaller than shown
        {4000, 3000, 800, 600, 4},   // 1000 x 750 covers 800 x 600
        {4000, 3000, 400, 300, 8},  {4000, 3000, 4000, 3000, 1},
        {640, 480, 1920, 1080, 1},                      // shown at natural size
        {64, 48, 16, 12, 4},        {64, 48, 0, 0, 1},  // no room given: natural size
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.w) + "x" + std::to_string(r.h) + " in " + std::to_string(r.fitW));
        EXPECT_EQ(jpegScaleDenominator(r.w, r.h, r.fitW, r.fitH), r.want);
    }
}

TEST(JpegDecoder, DecodesPixelsAtNaturalAndReducedScale) {
    test::pictureApp();
    const std::string jpg = test::encoded(test::quadrants(64, 48), "JPG");
    const DecodedPicture whole = decodeJpeg(bytesOf(jpg), 0, 0);
    ASSERT_EQ(whole.status, DecodeStatus::Ok) << whole.message;
    EXPECT_EQ(whole.width, 64);
    EXPECT_EQ(whole.height, 48);
    expectNear(at(whole, 16, 12), test::kQuadrants[0]);
    expectNear(at(whole, 48, 12), test::kQuadrants[1]);
    expectNear(at(whole, 16, 36), test::kQuadrants[2]);
    expectNear(at(whole, 48, 36), test::kQuadrants[3]);
    for (std::uint32_t px : whole.pixels) ASSERT_EQ(px >> 24, 0xFFu);

    // Shown at 16 x 12, it is decoded at 1/4: no full-size buffer is ever made.
    const DecodedPicture quarter = decodeJpeg(bytesOf(jpg), 16, 12);
    ASSERT_EQ(quarter.status, DecodeStatus::Ok);
    EXPECT_EQ(quarter.naturalWidth, 64);
    EXPECT_EQ(quarter.width, 16);
    EXPECT_EQ(quarter.height, 12);
    EXPECT_EQ(quarter.pixels.size(), 16u * 12u);
    expectNear(at(quarter, 4, 3), test::kQuadrants[0], 12);
    expectNear(at(quarter, 12, 9), test::kQuadrants[3], 12);

    const DecodedPicture gray = decodeJpeg(
        bytesOf(test::encoded(test::quadrants(32, 32).convertToFormat(QImage::Format_Grayscale8), "JPG")), 0,
        0);
    ASSERT_EQ(gray.status, DecodeStatus::Ok);
    const QColor g = at(gray, 8, 8);
    EXPECT_EQ(g.red(), g.green());
    EXPECT_EQ(g.green(), g.blue());
}

TEST(JpegDecoder, CmykFromAdobeShowsItsColours) {
    test::pictureApp();
    const DecodedPicture d = decodeJpeg(bytesOf(test::cmykJpeg(32, 32)), 0, 0);
    ASSERT_EQ(d.status, DecodeStatus::Ok) << d.message;
    expectNear(at(d, 8, 8), test::kQuadrants[0]);
    expectNear(at(d, 24, 8), test::kQuadrants[1]);
    expectNear(at(d, 8, 24), test::kQuadrants[2]);
    expectNear(at(d, 24, 24), test::kQuadrants[3]);
}

TEST(JpegDecoder, DamagedInputNeverCrashesAndSaysWhat) {
    test::pictureApp();
    const std::string good = test::encoded(test::quadrants(256, 256), "JPG", 90);

    // Cut in the middle of the scan: the top is there, the rest grey, and a message.
    const DecodedPicture cut = decodeJpeg(bytesOf(good.substr(0, good.size() / 2)), 0, 0);
    EXPECT_EQ(cut.status, DecodeStatus::Damaged);
    EXPECT_FALSE(cut.message.empty());
    ASSERT_EQ(cut.pixels.size(), 256u * 256u);
    expectNear(at(cut, 64, 10), test::kQuadrants[0]);

    struct Row {
        const char* what;
        std::string bytes;
        DecodeStatus want;
    } rows[] = {
        {"empty", "", DecodeStatus::Invalid},
        {"not a JPEG", "GIF89a not a jpeg at all", DecodeStatus::Invalid},
        {"header only", good.substr(0, 40), DecodeStatus::Invalid},
        {"start marker only", "\xFF\xD8", DecodeStatus::Invalid},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const DecodedPicture d = decodeJpeg(bytesOf(r.bytes), 800, 600);
        EXPECT_EQ(d.status, r.want);
        EXPECT_TRUE(d.pixels.empty());
        EXPECT_FALSE(d.message.empty());
    }

    // Random damage inside the scan data: whatever comes back, it stays in bounds.
    std::srand(7);
    for (int round = 0; round < 200; ++round) {
        std::string bad = good;
        for (int k = 0; k < 8; ++k)
            bad[200 + std::size_t(std::rand()) % (bad.size() - 200)] = char(std::rand());
        const DecodedPicture d = decodeJpeg(bytesOf(bad), 64, 64);
        if (!d.pixels.empty()) {
            ASSERT_EQ(d.pixels.size(), std::size_t(d.width) * std::size_t(d.height));
        }
    }
}

TEST(JpegDecoder, RefusesAPictureLargerThanItsFileCouldHold) {
    test::pictureApp();
    std::string bomb = test::encoded(test::quadrants(16, 16), "JPG");
    // Patch the frame header (FF C0 .. height, width) to claim 60000 x 60000.
    const std::size_t sof = bomb.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    bomb[sof + 5] = char(0xEA), bomb[sof + 6] = char(0x60);
    bomb[sof + 7] = char(0xEA), bomb[sof + 8] = char(0x60);
    const DecodedPicture d = decodeJpeg(bytesOf(bomb), 800, 600);
    EXPECT_EQ(d.status, DecodeStatus::TooLarge);
    EXPECT_EQ(d.naturalWidth, 60000);
    EXPECT_TRUE(d.pixels.empty());
}

TEST(PictureLoader, EveryFormatDecodesToItsPixels) {
    test::pictureApp();
    test::TempDir dir;
    const QImage src = test::quadrants(32, 32);
    struct Row {
        const char* name;
        std::string bytes;
        int tolerance;
    } rows[] = {
        {"q.bmp", test::encoded(src, "BMP"), 0},  {"q.ico", test::encoded(src, "ICO"), 0},
        {"q.png", test::encoded(src, "PNG"), 0},  {"q.jpg", test::encoded(src, "JPG"), 8},
        {"q.JPEG", test::encoded(src, "JPG"), 8}, {"q.tif", test::encoded(src, "TIFF"), 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        test::writeBytes(dir / r.name, r.bytes);
        const LoadedPicture p = loadPicture(QString::fromStdString(dir / r.name), QSize(800, 600));
        EXPECT_TRUE(p.message.isEmpty()) << p.message.toStdString();
        EXPECT_EQ(p.natural, QSize(32, 32));
        EXPECT_EQ(p.image.size(), QSize(32, 32));
        expectQuadrants(p.image, r.tolerance);
    }

    test::writeBytes(dir / "q.gif", test::tinyGif());
    const LoadedPicture gif = loadPicture(QString::fromStdString(dir / "q.gif"), QSize(800, 600));
    ASSERT_EQ(gif.image.size(), QSize(2, 2)) << gif.message.toStdString();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(gif.image.pixelColor(i % 2, i / 2), test::kQuadrants[i]) << i;

    // A big picture arrives already fitted to the screen.
    test::writeBytes(dir / "big.png", test::encoded(test::quadrants(1600, 400), "PNG"));
    const LoadedPicture big = loadPicture(QString::fromStdString(dir / "big.png"), QSize(800, 600));
    EXPECT_EQ(big.natural, QSize(1600, 400));
    EXPECT_EQ(big.image.size(), QSize(800, 200));
    expectQuadrants(big.image, 0);
}

TEST(PictureLoader, WhatCannotBeShownSaysSo) {
    test::pictureApp();
    test::TempDir dir;
    test::writeBytes(dir / "meta.wmf", std::string("\xD7\xCD\xC6\x9A\x00\x00", 6) + std::string(40, '\0'));
    test::writeBytes(dir / "broken.png", test::encoded(test::quadrants(8, 8), "PNG").substr(0, 30));
    test::writeBytes(dir / "png-named.jpg", test::encoded(test::quadrants(8, 8), "PNG"));
    struct Row {
        const char* name;
        const char* messageStart;  // nullptr: it shows
    } rows[] = {
        {"meta.wmf", "Cannot show this picture: no reader for Windows metafiles"},
        {"broken.png", "Cannot show this picture"},
        {"missing.jpg", "Cannot read the picture"},
        {"missing.gif", "Cannot read the picture"},
        {"png-named.jpg", nullptr},  // a PNG under a JPEG name still shows
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const LoadedPicture p = loadPicture(QString::fromStdString(dir / r.name), QSize(800, 600));
        if (!r.messageStart) {
            EXPECT_FALSE(p.image.isNull()) << p.message.toStdString();
            continue;
        }
        EXPECT_TRUE(p.image.isNull());
        EXPECT_TRUE(p.message.startsWith(QString::fromLatin1(r.messageStart))) << p.message.toStdString();
    }
}

TEST(PictureLoader, ExtensionsThatGoToTheViewer) {
    test::pictureApp();
    for (const char* ext :
         {".jpg", ".jpeg", ".bmp", ".gif", ".ico", ".png", ".emf", ".wmf", ".tif", ".webp", ".svg"})
        EXPECT_TRUE(isPictureExtension(ext)) << ext;
    for (const char* ext : {".txt", "", ".mp3", ".html", ".jpg.txt"})
        EXPECT_FALSE(isPictureExtension(ext)) << ext;
    EXPECT_EQ(lowerExtensionOf("/a.b/PHOTO.JPG"), ".jpg");
    EXPECT_EQ(lowerExtensionOf("/a.b/noext"), "");
}

}  // namespace
}  // namespace kv::viewers
