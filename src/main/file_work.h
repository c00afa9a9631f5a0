#pragma once
// What "view" means for a file (F3, "View", "Play music file", a middle click): the
// kind of window the file goes to, by the old extension table, and one handler per kind.
// The viewers and players plug in here with set(); a kind nobody has set says that its
// window is not available yet.
//   form.fileWork().set(FileWorkKind::Picture, [](TForm1& f, const std::string& path) { ... });
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kv {

class TForm1;

enum class FileWorkKind {
    FolderSize,    // the entry under the cursor is a folder: its total size
    Picture,       // .bmp .jpg .jpeg .ico .emf .wmf .gif .png, and what Qt's image plug-ins read
    Sound,         // .mid .wav .rmi
    Video,         // .avi .mov .mpg .mp1
    MpegAudio,     // .mp2 .mp3
    TrackerMusic,  // .xm .mod .s3m .itz .it .mpp .med
    Editor,        // everything else that is text, up to kEditorLimit bytes
    Viewer,        // binary, larger, or not readable as text: our viewer
};
inline constexpr int kFileWorkKinds = 8;

// The kind by the lower-cased extension of the name (from its last dot).
FileWorkKind fileWorkKindByName(std::string_view fileName);
// The largest file F3 gives to the editor (it holds the whole text); larger ones are viewed.
inline constexpr std::int64_t kEditorLimit = 16LL * 1024 * 1024;
// As fileWorkKindByName, but an editor file over kEditorLimit, or whose first 64 KiB are
// no text (a NUL byte, mostly controls), goes to the viewer instead.
FileWorkKind fileWorkKindOf(const std::string& path);
// Whether the editor takes the file: a regular file of text up to kEditorLimit.
bool editorTakes(const std::string& path);
// "Picture viewer", "Text editor", ...: what the status bar names.
std::string_view fileWorkKindName(FileWorkKind kind);

class FileWorkDispatch {
public:
    using Handler = std::function<void(TForm1& form, const std::string& path)>;

    // The handlers that exist today: videos go to the desktop, binary files to the viewer.
    FileWorkDispatch();

    void set(FileWorkKind kind, Handler handler) { handlers_[index(kind)] = std::move(handler); }
    bool has(FileWorkKind kind) const { return static_cast<bool>(handlers_[index(kind)]); }
    // Runs the kind's handler; false (and nothing runs) when the kind has none.
    bool run(FileWorkKind kind, TForm1& form, const std::string& path) const;

private:
    static std::size_t index(FileWorkKind k) { return static_cast<std::size_t>(k); }
    std::array<Handler, kFileWorkKinds> handlers_;
};

}  // namespace kv
