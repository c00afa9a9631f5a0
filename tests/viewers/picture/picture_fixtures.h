#pragma once
// Small pictures made at test time: four flat quadrants (red, green, blue, white) in the
// formats Qt writes, a GIF coded by hand (Qt has no GIF writer), and a CMYK JPEG through
// libjpeg's compressor.
#include <cstdio>
#include <jpeglib.h>

#include <QApplication>
#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QPainter>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace kv::test {

inline QApplication& pictureApp() {
    static int argc = 1;
    static char name[] = "picture_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

inline const QColor kQuadrants[4] = {QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 255),
                                     QColor(255, 255, 255)};

// Top-left red, top-right green, bottom-left blue, bottom-right white.
inline QImage quadrants(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    QPainter p(&img);
    p.fillRect(0, 0, w / 2, h / 2, kQuadrants[0]);
    p.fillRect(w / 2, 0, w - w / 2, h / 2, kQuadrants[1]);
    p.fillRect(0, h / 2, w / 2, h - h / 2, kQuadrants[2]);
    p.fillRect(w / 2, h / 2, w - w / 2, h - h / 2, kQuadrants[3]);
    return img;
}

inline std::string encoded(const QImage& img, const char* format, int quality = 100) {
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, format, quality);
    return bytes.toStdString();
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A 2 x 2 GIF: red, green / blue, white. Every pixel code follows a clear code, so all codes
// stay 3 bits wide and no dictionary entry is ever used.
inline std::string tinyGif() {
    std::string g = "GIF89a";
    g += std::string("\x02\x00\x02\x00", 4);
    g += '\x81';  // global colour table of 4 entries
    g += '\x00';
    g += '\x00';
    g += std::string("\xFF\x00\x00\x00\xFF\x00\x00\x00\xFF\xFF\xFF\xFF", 12);
    g += std::string("\x2C\x00\x00\x00\x00\x02\x00\x02\x00\x00", 10);
    g += '\x02';  // LZW minimum code size
    const int codes[] = {4, 0, 4, 1, 4, 2, 4, 3, 5};
    std::string data;
    unsigned acc = 0;
    int bits = 0;
    for (int c : codes) {
        acc |= unsigned(c) << bits;
        bits += 3;
        while (bits >= 8) {
            data += char(acc & 0xFF);
            acc >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0) data += char(acc & 0xFF);
    g += char(data.size());
    g += data;
    g += '\0';
    g += ';';
    return g;
}

// A w x h JPEG in CMYK as Adobe's programs write it (inverted inks): the quadrant colours.
inline std::string cmykJpeg(int w, int h) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = unsigned(w);
    c.image_height = unsigned(h);
    c.input_components = 4;
    c.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 100, TRUE);
    c.write_Adobe_marker = TRUE;
    jpeg_start_compress(&c, TRUE);
    std::vector<unsigned char> row(std::size_t(w) * 4);
    const QImage src = quadrants(w, h);
    while (c.next_scanline < c.image_height) {
        for (int x = 0; x < w; ++x) {
            const QColor q = src.pixelColor(x, int(c.next_scanline));
            // Inverted CMY with no black ink: the stored value is the colour channel itself.
            row[std::size_t(x) * 4 + 0] = static_cast<unsigned char>(q.red());
            row[std::size_t(x) * 4 + 1] = static_cast<unsigned char>(q.green());
            row[std::size_t(x) * 4 + 2] = static_cast<unsigned char>(q.blue());
            row[std::size_t(x) * 4 + 3] = 255;
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    std::string out(reinterpret_cast<char*>(mem), size);
    jpeg_destroy_compress(&c);
    free(mem);
    return out;
}

}  // namespace kv::test
