#pragma once
// Reads a picture file for the viewer: JPEG through our libjpeg-turbo decoder at the scale
// the screen needs, every other kind through Qt's image readers (BMP, ICO, GIF, PNG and
// what the installed plug-ins add). Never throws; what went wrong is in `message`.
#include <QImage>
#include <QSize>
#include <QString>

#include <string>
#include <string_view>

namespace kv::viewers {

struct LoadedPicture {
    QImage image;     // already scaled to `shown`'s size; null when nothing can be shown
    QSize natural;    // the picture's own size (invalid when unknown)
    QString message;  // empty when the picture showed whole
};

// `room` is the screen the picture is shown on: a bigger picture arrives scaled down to fit.
// Only a regular file is read (opened without blocking, checked on the open descriptor), so
// this may be called for any entry; it can take a while on a large picture, so windows call
// it off their thread. `path` is the file system's bytes.
LoadedPicture loadPicture(const std::string& path, QSize room);
LoadedPicture loadPicture(const QString& path, QSize room);

// Extensions (lower case, with the dot) that go to the picture viewer: the old list with
// ".png", and whatever Qt's installed image plug-ins read.
bool isPictureExtension(std::string_view lowerExtension);
// The lower-cased extension of a name, from its last dot ("" when it has none).
std::string lowerExtensionOf(std::string_view name);

}  // namespace kv::viewers
