#pragma once
// TQuickView: the preview that takes the place of a file panel while the quick view is on.
// It shows the entry it is given (the other panel's cursor entry) as describeEntry
// classifies it: lines of text, a picture scaled to fit, an archive's first names with
// their sizes, a hex view of the whole file, a folder's totals. The work is done on a worker thread, one
// entry at a time: a new entry cancels the one being made, and only the latest is shown,
// so a cursor running over a folder of big files never waits for the files it passed.
//   auto* q = new TQuickView(parent);
//   q->setGeometry(panel->geometry());
//   q->showEntry("/home/me/photo.jpg", "photo.jpg");
#include <QColor>
#include <QFont>
#include <QImage>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "viewers/quick_view/quick_view_content.h"

class QTimer;

namespace kv {

class TViewPane;
namespace view {
class ViewDocument;
}

class TQuickView : public QWidget {
    Q_OBJECT
public:
    explicit TQuickView(QWidget* parent = nullptr);
    ~TQuickView() override;

    // Previews `path`, titled `name`; the same path again changes nothing. A preview
    // still being made for another entry is cancelled.
    void showEntry(const std::string& path, const std::string& name);
    // Shows only a note under the title (for entries that have no file of their own).
    void showNote(const std::string& name, const std::string& note);
    // Drops what is shown and cancels any preview being made.
    void clear();

    // The entry asked for last, and the preview on screen (which may still be an earlier
    // entry's while the new one is being made).
    const std::string& wantedPath() const { return wanted_; }
    const quickview::Content& content() const { return shown_; }
    const QImage& picture() const { return picture_; }
    const QString& pictureMessage() const { return pictureMessage_; }
    // A preview is being made or waits for an earlier one to stop.
    bool busy() const;

    // The panel's look: background, text, title colours and the panel font.
    void setLook(const QColor& back, const QColor& text, const QColor& title, const QColor& line,
                 const QFont& font);

signals:
    // The preview of `path` is on screen.
    void previewShown(const QString& path);

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    // Clicks and the wheel stay here: they must not reach the panel under the preview.
    void mousePressEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

private:
    struct Job;
    void startWanted();
    void poll();
    void take(Job& job);
    void reap();
    QRect bodyRect() const;
    void placeHex();

    std::string wanted_, wantedName_, shownName_, note_;
    bool wantedStarted_ = false;
    quickview::Content shown_;
    QImage picture_;
    QString pictureMessage_;
    std::shared_ptr<Job> running_;
    std::vector<std::shared_ptr<Job>> retired_;  // cancelled, still winding down
    QTimer* poll_ = nullptr;
    QTimer* resizePicture_ = nullptr;
    // The hex preview reads the file through the viewer's reader, so it scrolls through the
    // whole file however big, not a prefix.
    std::unique_ptr<view::ViewDocument> hexDoc_;
    TViewPane* hex_ = nullptr;
    void hideHex();
    QColor back_ = QColor(0, 0, 128), text_ = Qt::white, title_ = Qt::yellow, line_ = Qt::white;
};

}  // namespace kv
