#include "main/file_work.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QLabel>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "main/desktop_open.h"
#include "main/main_form.h"
#include "main/panel_dialogs/folder_size.h"
#include "main/viewer_work.h"
#include "platform/launcher.h"
#include "viewers/picture_loader.h"
#include "viewers/view/text_encoding.h"

namespace kv {

namespace {

constexpr std::size_t kProbeBytes = 64 * 1024;

std::string lowerExtension(std::string_view fileName) {
    const std::size_t slash = fileName.rfind('/');
    const std::string_view base = slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
    const std::size_t dot = base.rfind('.');
    std::string ext(dot == std::string_view::npos ? std::string_view() : base.substr(dot));
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

// Binary or huge: the editor would show rubbish or hold the whole file in memory. Only
// regular files are opened; anything else is the editor's to refuse.
bool betterInTheViewer(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (st.st_size > kEditorLimit) return true;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    std::vector<std::uint8_t> buf(kProbeBytes);
    std::size_t have = 0;
    while (have < buf.size()) {
        const ssize_t n = ::read(fd, buf.data() + have, buf.size() - have);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        have += static_cast<std::size_t>(n);
    }
    ::close(fd);
    buf.resize(have);
    return view::detect(buf, have < kProbeBytes).mode != view::ViewMode::Text;
}

// The old program's media player is the desktop's; without one, the viewer is offered.
void openOnTheDesktop(TForm1& f, const std::string& path) {
    openWithDesktopOrOffer(f, path, std::filesystem::path(path).parent_path().string());
}

}  // namespace

FileWorkKind fileWorkKindByName(std::string_view fileName) {
    struct Row {
        FileWorkKind kind;
        std::initializer_list<std::string_view> extensions;
    };
    static const Row table[] = {
        {FileWorkKind::Picture, {".bmp", ".jpg", ".jpeg", ".ico", ".emf", ".wmf", ".gif", ".png"}},
        {FileWorkKind::Sound, {".mid", ".wav", ".rmi"}},
        {FileWorkKind::Video, {".avi", ".mov", ".mpg", ".mp1"}},
        {FileWorkKind::MpegAudio, {".mp2", ".mp3"}},
        {FileWorkKind::TrackerMusic, {".xm", ".mod", ".s3m", ".itz", ".it", ".mpp", ".med"}},
    };
    const std::string ext = lowerExtension(fileName);
    for (const Row& r : table)
        if (std::find(r.extensions.begin(), r.extensions.end(), ext) != r.extensions.end()) return r.kind;
    // What the installed image plug-ins read (TIFF, WebP, SVG, ...) is a picture too.
    if (viewers::isPictureExtension(ext)) return FileWorkKind::Picture;
    return FileWorkKind::Editor;
}

FileWorkKind fileWorkKindOf(const std::string& path) {
    const FileWorkKind k = fileWorkKindByName(path);
    return k == FileWorkKind::Editor && betterInTheViewer(path) ? FileWorkKind::Viewer : k;
}

bool editorTakes(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !betterInTheViewer(path);
}

std::string_view fileWorkKindName(FileWorkKind kind) {
    switch (kind) {
        case FileWorkKind::FolderSize: return "Folder size";
        case FileWorkKind::Picture: return "Picture viewer";
        case FileWorkKind::Sound: return "Sound player";
        case FileWorkKind::Video: return "Video player";
        case FileWorkKind::MpegAudio: return "MPEG audio player";
        case FileWorkKind::TrackerMusic: return "Tracker music player";
        case FileWorkKind::Editor: return "Text editor";
        case FileWorkKind::Viewer: return "File viewer";
    }
    return "Text editor";
}

FileWorkDispatch::FileWorkDispatch() {
    // The old program's system media player is the desktop's.
    set(FileWorkKind::Video, openOnTheDesktop);
    set(FileWorkKind::Viewer, openFileViewer);
    set(FileWorkKind::Picture, showPictureViewer);
    set(FileWorkKind::Editor, openTextEditor);
    set(FileWorkKind::FolderSize, showFolderSize);
}

bool FileWorkDispatch::run(FileWorkKind kind, TForm1& form, const std::string& path) const {
    const Handler& h = handlers_[index(kind)];
    if (!h) return false;
    h(form, path);
    return true;
}

}  // namespace kv
