#pragma once
// TViewerForm: the full-screen picture viewer. It has no list of its own: stepping moves the
// active file panel's cursor and shows whatever entry the cursor reaches; an entry that is
// not a picture closes the viewer with the cursor left on it.
//
//   TViewerForm* v = TViewerForm::of(mainWindow);
//   v->Show(activePanel, {leftPanel, rightPanel});   // modal, returns when closed
#include <QDialog>
#include <QImage>
#include <QRect>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "viewers/picture_loader.h"

class QLabel;
class QTimer;

namespace kv {

class TFPanel;

class TViewerForm : public QDialog {
    Q_OBJECT
public:
    explicit TViewerForm(QWidget* owner = nullptr);
    ~TViewerForm() override;

    // The viewer of this main window (made on first use, kept for the program's life).
    static TViewerForm* of(QWidget* mainWindow);

    // Shows the entry under `active`'s cursor full screen and steps through that panel
    // until the user closes the viewer. Show waits (modal); Start returns at once.
    void Show(TFPanel* active, std::array<TFPanel*, 2> panels);
    void Start(TFPanel* active, std::array<TFPanel*, 2> panels);

    // The file that holds the bytes of `panel`'s cursor entry; unset, the entry itself. A
    // panel inside an archive has its entries extracted to temporary copies this way.
    std::function<std::string(TFPanel* panel)> EntryFile;
    // How a picture is read, on a worker thread; unset, viewers::loadPicture. Tests replace it.
    std::function<viewers::LoadedPicture(const std::string& file, QSize room)> Load;

    // What the viewer shows, for the tests.
    const QImage& picture() const { return picture_; }
    QRect pictureRect() const { return rect_; }
    const QString& message() const { return message_; }
    QString shownPath() const { return shownPath_; }
    bool nameShown() const;
    // A picture is being read: the screen still shows the one before it.
    bool loading() const { return loading_ != nullptr; }
    // Lets events run until the picture being read is shown, at most `ms`; true when it is.
    bool waitLoaded(int ms = 10000);

    // Next / previous entry of the active panel (Right/Down/PgDn/Space, Left/Up/PgUp/Bksp).
    void NextEntry();
    void PreviousEntry();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool focusNextPrevChild(bool) override { return false; }  // Tab is a key like any other

private:
    // Loads and lays out the entry under the cursor; closes the viewer on a non-picture.
    void activate();
    void finish();
    // Shows the picture the worker has read, once it has; true when it did.
    bool takeLoaded();

    struct Reading;
    std::shared_ptr<Reading> loading_;
    std::vector<std::shared_ptr<Reading>> readers_;  // every worker not yet joined
    QTimer* poll_ = nullptr;

    TFPanel* active_ = nullptr;
    std::array<TFPanel*, 2> panels_{};
    QLabel* Label5 = nullptr;
    QImage picture_;
    QRect rect_;
    QString message_;
    QString shownPath_;
    bool leftPressed_ = false;
};

}  // namespace kv
