#pragma once
// What the file-operation dialogs need from the main window: the two panels (the active one
// first), the owner window, the DelToRecycle setting and the language lookup.
#include <functional>
#include <string>
#include <string_view>

class QWidget;

namespace kv {

class TFPanel;

struct FileOpsContext {
    QWidget* owner = nullptr;
    TFPanel* active = nullptr;
    TFPanel* passive = nullptr;
    bool delToRecycle = false;
    bool english = true;  // the interface language is exactly "ENGLISH"
    // A dialog text from the language file: (section, key, english text). Asked only when
    // the language is not English; a missing key gives "Error loading resource".
    std::function<std::string(std::string_view, std::string_view, std::string_view)> text;

    std::string tr(std::string_view section, std::string_view key, std::string_view english_) const {
        if (english || !text) return std::string(english_);
        return text(section, key, english_);
    }
};

}  // namespace kv
