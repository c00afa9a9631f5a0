#include "viewers/picture_loader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "viewers/picture_decode.h"

namespace kv::viewers {

namespace {

// A JPEG file bigger than this is not read into memory (no camera writes one).
constexpr off_t kMaxJpegFileBytes = 256L * 1024 * 1024;

QString errnoText(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

// The whole file, or the reason it could not be read. Only regular files are opened, and
// without blocking, so a fifo named "x.jpg" cannot hang the viewer.
bool readWholeFile(const QString& path, std::vector<std::uint8_t>& bytes, QString& why) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        why = errnoText(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        why = QStringLiteral("Not a regular file");
        return false;
    }
    if (st.st_size > kMaxJpegFileBytes) {
        ::close(fd);
        why = QStringLiteral("The file is too large to show");
        return false;
    }
    bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t have = 0;
    while (have < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + have, bytes.size() - have);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            why = errnoText(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;  // shrank while we read: decode what is there
        have += static_cast<std::size_t>(n);
    }
    bytes.resize(have);
    ::close(fd);
    return true;
}

bool looksLikeJpeg(const QString& path) {
    const std::string ext = lowerExtensionOf(path.toStdString());
    return ext == ".jpg" || ext == ".jpeg" || ext == ".jpe" || ext == ".jfif";
}

QImage scaledForScreen(QImage image, QSize room) {
    const PictureRect r = layoutPicture(image.width(), image.height(), room.width(), room.height());
    if (r.width <= 0 || r.height <= 0) return image;
    if (image.width() == r.width && image.height() == r.height) return image;
    return image.scaled(r.width, r.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

LoadedPicture loadJpeg(const QString& path, QSize room) {
    LoadedPicture out;
    std::vector<std::uint8_t> bytes;
    QString why;
    if (!readWholeFile(path, bytes, why)) {
        out.message = QStringLiteral("Cannot read the picture: ") + why;
        return out;
    }
    DecodedPicture d = decodeJpeg(bytes, room.width(), room.height());
    if (d.naturalWidth > 0) out.natural = QSize(d.naturalWidth, d.naturalHeight);
    if (!d.pixels.empty()) {
        // The natural size decides the place on screen; the decode may be smaller than it.
        const PictureRect r = layoutPicture(d.naturalWidth, d.naturalHeight, room.width(), room.height());
        QImage wrapped(reinterpret_cast<const uchar*>(d.pixels.data()), d.width, d.height, d.width * 4,
                       QImage::Format_RGB32);
        out.image = (wrapped.width() == r.width && wrapped.height() == r.height)
                        ? wrapped.copy()
                        : wrapped.scaled(r.width, r.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    switch (d.status) {
        case DecodeStatus::Ok: break;
        case DecodeStatus::Damaged:
            out.message = QStringLiteral("The picture is damaged: ") + QString::fromStdString(d.message);
            break;
        case DecodeStatus::Invalid:
        case DecodeStatus::TooLarge:
            out.message = QStringLiteral("Cannot show this picture: ") + QString::fromStdString(d.message);
            break;
    }
    return out;
}

LoadedPicture loadThroughQt(const QString& path, QSize room) {
    LoadedPicture out;
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    if (!reader.canRead()) {
        const std::string ext = lowerExtensionOf(path.toStdString());
        if (!QFileInfo::exists(path) || !QFileInfo(path).isReadable())
            out.message = QStringLiteral("Cannot read the picture: ") + reader.errorString();
        else if (ext == ".emf" || ext == ".wmf")
            out.message =
                QStringLiteral("Cannot show this picture: no reader for Windows metafiles is installed");
        else
            out.message = QStringLiteral("Cannot show this picture: ") + reader.errorString();
        return out;
    }
    const QSize natural = reader.size();
    if (natural.isValid()) {
        out.natural = natural;
        const PictureRect r = layoutPicture(natural.width(), natural.height(), room.width(), room.height());
        // Readers that can scale while decoding (SVG, some JPEG and TIFF readers) do so.
        if (r.width > 0 && (r.width != natural.width() || r.height != natural.height()) &&
            reader.supportsOption(QImageIOHandler::ScaledSize))
            reader.setScaledSize(QSize(r.width, r.height));
    }
    QImage image = reader.read();
    if (image.isNull()) {
        out.message = QStringLiteral("Cannot show this picture: ") + reader.errorString();
        return out;
    }
    if (!out.natural.isValid()) out.natural = image.size();
    out.image = scaledForScreen(std::move(image), room);
    return out;
}

}  // namespace

std::string lowerExtensionOf(std::string_view name) {
    const std::size_t slash = name.rfind('/');
    const std::string_view base = slash == std::string_view::npos ? name : name.substr(slash + 1);
    const std::size_t dot = base.rfind('.');
    std::string ext(dot == std::string_view::npos ? std::string_view() : base.substr(dot));
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

bool isPictureExtension(std::string_view lowerExtension) {
    static const std::set<std::string, std::less<>> known = [] {
        std::set<std::string, std::less<>> s = {".bmp", ".jpg", ".jpeg", ".ico",
                                                ".emf", ".wmf", ".gif",  ".png"};
        for (const QByteArray& f : QImageReader::supportedImageFormats())
            s.insert("." + f.toLower().toStdString());
        return s;
    }();
    return known.count(lowerExtension) != 0;
}

LoadedPicture loadPicture(const QString& path, QSize room) {
    if (!looksLikeJpeg(path)) return loadThroughQt(path, room);
    LoadedPicture out = loadJpeg(path, room);
    // A picture of another kind under a JPEG name still shows when a reader knows it.
    if (out.image.isNull() && !out.natural.isValid() && QFileInfo(path).isReadable()) {
        LoadedPicture other = loadThroughQt(path, room);
        if (!other.image.isNull()) return other;
    }
    return out;
}

}  // namespace kv::viewers
