#include "viewers/picture_loader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/file_contents.h"
#include "viewers/picture_decode.h"

namespace kv::viewers {

namespace {

// A JPEG file bigger than this is not read into memory (no camera writes one).
constexpr off_t kMaxJpegFileBytes = 256L * 1024 * 1024;

QString errnoText(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

// The whole of an open regular file, up to kMaxJpegFileBytes.
bool readWholeFile(int fd, std::vector<std::uint8_t>& bytes, QString& why) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        why = errnoText(errno);
        return false;
    }
    if (st.st_size > kMaxJpegFileBytes) {
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
            return false;
        }
        if (n == 0) break;  // shrank while we read: decode what is there
        have += static_cast<std::size_t>(n);
    }
    bytes.resize(have);
    return true;
}

bool looksLikeJpeg(const std::string& path) {
    const std::string ext = lowerExtensionOf(path);
    return ext == ".jpg" || ext == ".jpeg" || ext == ".jpe" || ext == ".jfif";
}

QImage scaledForScreen(QImage image, QSize room) {
    const PictureRect r = layoutPicture(image.width(), image.height(), room.width(), room.height());
    if (r.width <= 0 || r.height <= 0) return image;
    if (image.width() == r.width && image.height() == r.height) return image;
    return image.scaled(r.width, r.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

LoadedPicture loadJpeg(const std::vector<std::uint8_t>& bytes, QSize room) {
    LoadedPicture out;
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

// Qt's readers see only the device, never the name: what they read is the file checked when
// it was opened.
LoadedPicture loadThroughQt(QIODevice& device, const std::string& ext, QSize room) {
    LoadedPicture out;
    QImageReader reader(&device);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    if (!reader.canRead()) {
        if (ext == ".emf" || ext == ".wmf")
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

LoadedPicture loadPicture(const std::string& path, QSize room) {
    LoadedPicture out;
    std::string why;
    // The one open of the file: without blocking, refused unless the open file is a regular
    // one, so a fifo or a device under a picture's name is never waited on nor read.
    const int fd = platform::openRegularFile(path, why);
    if (fd < 0) {
        if (why.rfind(path + ": ", 0) == 0) why.erase(0, path.size() + 2);
        out.message = QStringLiteral("Cannot read the picture: ") + QString::fromLocal8Bit(why.c_str());
        return out;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        out.message = QStringLiteral("Cannot read the picture: ") + file.errorString();
        return out;
    }
    const std::string ext = lowerExtensionOf(path);
    if (!looksLikeJpeg(path)) return loadThroughQt(file, ext, room);
    std::vector<std::uint8_t> bytes;
    QString failure;
    if (!readWholeFile(fd, bytes, failure)) {
        out.message = QStringLiteral("Cannot read the picture: ") + failure;
        return out;
    }
    out = loadJpeg(bytes, room);
    // A picture of another kind under a JPEG name still shows when a reader knows it.
    if (out.image.isNull() && !out.natural.isValid()) {
        QBuffer buffer;
        buffer.setData(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
        buffer.open(QIODevice::ReadOnly);
        LoadedPicture other = loadThroughQt(buffer, ext, room);
        if (!other.image.isNull()) return other;
    }
    return out;
}

LoadedPicture loadPicture(const QString& path, QSize room) {
    const QByteArray name = QFile::encodeName(path);
    return loadPicture(std::string(name.constData(), static_cast<std::size_t>(name.size())), room);
}

}  // namespace kv::viewers
