#pragma once
// TFormEdit: one plain-text editor window per opened file, not modal. The text keeps the
// file's own line ending and encoding; saving goes through a temporary file and a rename.
//
//   QString error;
//   if (!TFormEdit::Open(mainWindow, path, appearance, &error)) showError(error);
#include <QColor>
#include <QFont>
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>
#include <string>

#include "viewers/editor/text_file.h"

class QPlainTextEdit;
class QAction;
class QPrinter;

namespace kv {

class TFindDialog;

class TFormEdit : public QMainWindow {
    Q_OBJECT
public:
    // The look the text area takes on every activation (the left panel's background and
    // font); a font or colour the user picks in the Options menu holds from then on.
    struct Appearance {
        QColor background;
        QFont font;
    };
    using AppearanceSource = std::function<Appearance()>;

    // Reads the file and shows a new editor over `mainWindow`'s place. On failure no
    // window is made and `error` says why; `notText` tells a binary or oversized file.
    static TFormEdit* Open(QWidget* mainWindow, const std::string& path, AppearanceSource appearance,
                           QString* error, bool* notText = nullptr);

    TFormEdit(QWidget* owner, const std::string& path, editor::DecodedText text, AppearanceSource appearance);
    ~TFormEdit() override;

    QPlainTextEdit* Memo1 = nullptr;
    // The file Save writes to (the opened file, or the last Save As target).
    const std::string& filePath() const { return path_; }
    const editor::TextFormat& format() const { return format_; }
    // The text as the file would hold it, lines separated by "\n".
    QString text() const;
    bool modified() const;

    // The file is a temporary copy (of an archive entry; `origin` says where it came from):
    // Save refuses and points to Save As, since the copy goes when the window closes.
    void markTemporaryCopy(const QString& origin);

    // Menu commands (also what the tests drive).
    bool Save();
    bool SaveAs(const QString& path);
    void SaveAsAsk();
    void FindNext();
    void ShowFind();
    void ShowReplace();
    TFindDialog* findDialog() const { return find_; }
    TFindDialog* replaceDialog() const { return replace_; }
    // Find with the given dialog's text and options: selects the hit, or says it found none.
    bool Find(TFindDialog* from);
    void Replace(bool all);

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void buildMenus();
    void applyAppearance();
    void notFound(const QString& what);
    bool writeTo(const std::string& path);

    std::string path_;
    QString copyOrigin_;  // set: path_ is a temporary copy of this
    editor::TextFormat format_;
    AppearanceSource appearance_;
    bool userFont_ = false, userColor_ = false;
    TFindDialog* find_ = nullptr;
    TFindDialog* replace_ = nullptr;
    std::unique_ptr<QPrinter> printer_;
};

}  // namespace kv
