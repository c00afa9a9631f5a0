#pragma once
// TFormView: the read-only viewer for any file of any size, one window per file, not modal.
// The file is read by a ViewDocument only where it is shown; the window paints it (through
// TViewPane), takes the keys named in its status line and runs searches on a worker.
//   QString error;
//   if (TFormView* v = TFormView::Open(mainWindow, path, &error)) v->EditFile = ...;
#include <QMainWindow>

#include <functional>
#include <string>

#include "viewers/view/view_document.h"
#include "viewers/view/view_search.h"

class QLabel;
class QTimer;

namespace kv {

class TViewPane;

class TFormView : public QMainWindow {
    Q_OBJECT
public:
    // Opens the file and shows a window over `owner`'s place; nothing and `error` when the
    // file cannot be read.
    static TFormView* Open(QWidget* owner, const std::string& path, QString* error);
    TFormView(QWidget* owner, const std::string& path);
    ~TFormView() override;

    // F4: hands the file to the editor; true when the editor took it (the viewer closes).
    std::function<bool(const std::string& path)> EditFile;

    view::ViewDocument& document() { return doc_; }
    TViewPane* pane() const { return pane_; }
    QString statusText() const;
    QString keysText() const;
    const std::string& path() const { return path_; }

    // The commands behind the keys (also what the tests drive).
    void toggleWrap();
    void nextMode();
    void nextEncoding();
    void toggleFollow();
    // Starts a search; false (and a note in the status line) when the pattern is unusable.
    bool startSearch(view::SearchRequest request);
    void findAgain(bool reverse);
    bool searching() const { return search_.running() || search_.finished(); }
    void cancelSearch();
    bool goTo(const QString& where);
    void copySelection();
    void openInEditor();
    void followTick();  // the follow timer's work: the file's new size, the new lines

protected:
    void keyPressEvent(QKeyEvent*) override;
    void closeEvent(QCloseEvent*) override;

private:
    void askSearch();
    void askGoTo();
    void searchTick();
    void showStatus();
    void note(const QString& text);

    std::string path_;
    view::ViewDocument doc_;
    TViewPane* pane_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* keys_ = nullptr;
    QTimer* searchTimer_ = nullptr;
    QTimer* followTimer_ = nullptr;
    view::SearchWorker search_;
    view::SearchRequest last_;
    bool haveLast_ = false;
    QString note_;
};

}  // namespace kv
