#pragma once
// The clipboard viewer: the clipboard view above a 38-pixel strip with "&OK" centred in
// it. Modal; opens where it was last closed.
#include <QDialog>
#include <QRect>

#include "tools/tool_window.h"

class QPushButton;

namespace kv {

class ClipboardView;

class TFormClip : public QDialog {
    Q_OBJECT
public:
    static constexpr int kStripHeight = 38;

    // `bounds`: left, top, width and height as last kept; a value below 1 gives 50 for left
    // and top and 300 for width and height.
    explicit TFormClip(QRect bounds, ToolTexts texts = englishText, QWidget* parent = nullptr);

    // The window's position (of its frame) and size, to be kept for the next opening.
    QRect bounds() const { return QRect(pos(), size()); }

    ClipboardView* View = nullptr;
    QPushButton* OkButton = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;
};

}  // namespace kv
