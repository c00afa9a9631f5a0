#pragma once
// TFormResource, the resource explorer: the tree of an executable's resources on the left,
// and on the right the view the selected resource calls for: a list of a folder's children,
// a picture, text lines, a hex dump, version information, a video note or a message. Any
// resource can be saved. One window per main window, created on first use and kept.
#include <QWidget>

#include <functional>
#include <memory>

#include "viewers/exe/exe_image.h"

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QStackedWidget;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kv {

class THexDump;

class TFormResource : public QWidget {
    Q_OBJECT
public:
    enum Page { kListPage, kPicturePage, kTextPage, kHexPage, kVersionPage, kMessagePage, kVideoPage };

    explicit TFormResource(QWidget* parent = nullptr);
    ~TFormResource() override;

    // The explorer of this main window, made on first use.
    static TFormResource* of(QWidget* mainWindow);
    // At start-up: when the first argument names an existing file, shows the explorer of
    // mainWindow with that file and answers true.
    static bool openFromCommandLine(QWidget* mainWindow, const QStringList& arguments);
    // True for names ending in .exe or .dll, in any case.
    static bool isExecutableName(const QString& path);

    // Opens a file: nothing when it does not exist; a reader error goes to the error box and
    // keeps the file shown before.
    void SetFile(const QString& path);
    // Saves the selected resource, asking for the file name (F2, the save button).
    void saveSelected();

    // Replaceable for tests: the error box, and the question for a file name to save to
    // (proposed name and filter index in; the chosen path, or "" for cancel, out).
    std::function<void(const QString&)> showError;
    std::function<QString(const QString& proposed, int filterIndex)> askSaveName;
    // How a video file is opened (xdg-open by default).
    std::function<void(const QString&)> openVideo;

    // ---- for tests ----
    QTreeWidget* tree() const { return tree_; }
    QTreeWidget* list() const { return list_; }
    int currentPage() const;
    QString message() const;
    QString text() const;
    THexDump* hexDump() const { return hex_; }
    QLabel* picture() const { return picture_; }
    QTreeWidget* versionList() const { return version_; }
    QString languageLabel() const;
    QString statusText(int panel) const;
    QString captionText() const;
    bool saveEnabled() const;
    exe::TExeImage* image() const { return image_.get(); }
    // The tree node of the item at this path of names ("Icon", "1", "32 X 32 16 Colors").
    QTreeWidgetItem* nodeAt(const QStringList& names) const;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void buildWindow();
    void fillTree(exe::TResourceList& list, QTreeWidgetItem* parent);
    void treeSelectionChanged();
    void showItem(exe::TResourceItem& item);
    void showByContent(exe::TResourceItem& item);
    void showPicture(const QByteArray& file, const char* format);
    void showText(const std::vector<std::string>& lines);
    void showHex(exe::TResourceItem& item);
    void showVersion(exe::TResourceItem& item);
    void showDialog(exe::TResourceItem& item);
    void playVideo(exe::TResourceItem& item);
    void showMessage(const QString& text);
    void setPage(Page p);
    exe::TResourceItem* selectedDataItem() const;
    void treeContextMenu(const QPoint& at);
    void listContextMenu(const QPoint& at);
    void removeVideos();

    std::unique_ptr<exe::TExeImage> image_;
    bool clearing_ = false;
    std::vector<QString> videos_;  // temporary files handed to the video player

    QToolButton* save_ = nullptr;
    QLabel* caption_ = nullptr;
    QTreeWidget* tree_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    QStackedWidget* listViews_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QListWidget* icons_ = nullptr;
    QLabel* picture_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    THexDump* hex_ = nullptr;
    QTreeWidget* version_ = nullptr;
    QLabel* language_ = nullptr;
    QLabel* message_ = nullptr;
    QLabel* video_ = nullptr;
    QLabel* status_[2] = {nullptr, nullptr};
};

}  // namespace kv
