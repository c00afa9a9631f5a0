#pragma once
// Shows what a clipboard holds in the most suitable of its forms: a list of files, a
// picture, a colour (as a swatch), text, or a note naming the formats it cannot show.
// Follows the clipboard: every change is shown at once.
#include <QClipboard>
#include <QStackedWidget>

#include "tools/tool_window.h"

class QLabel;
class QListWidget;
class QMimeData;
class QPlainTextEdit;
class QScrollArea;

namespace kv {

class ClipboardView : public QStackedWidget {
    Q_OBJECT
public:
    enum class Shown { Empty, Files, Picture, Colour, Text, Unknown };

    explicit ClipboardView(ToolTexts texts = englishText, QClipboard::Mode mode = QClipboard::Clipboard,
                           QWidget* parent = nullptr);

    Shown shown() const { return shown_; }
    QListWidget* files() const { return files_; }
    QLabel* picture() const { return picture_; }
    QPlainTextEdit* text() const { return text_; }
    QLabel* note() const { return note_; }

    // Shows `data` (nullptr: nothing on the clipboard).
    void showData(const QMimeData* data);

public slots:
    void refresh();

private:
    ToolTexts texts_;
    QClipboard::Mode mode_;
    Shown shown_ = Shown::Empty;
    QListWidget* files_ = nullptr;
    QScrollArea* pictureArea_ = nullptr;
    QLabel* picture_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QLabel* note_ = nullptr;
};

}  // namespace kv
