#pragma once
// The "Find file" window (Alt+F7): the search's start folder, masks, text and limits, Start
// and Stop, a live count and the results as they come. Enter goes to a result in the
// active panel and closes the window; F3 and F4 view and edit it; "Feed to panel" lists
// every result found on disk in the active panel. The search runs on a worker thread.
#include <QDialog>
#include <QTimer>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "search/engine/find_engine.h"

class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kv {

class TArchiveFolders;
class TForm1;

class TFormFind : public QDialog {
    Q_OBJECT
public:
    explicit TFormFind(TForm1& main);
    ~TFormFind() override;
    // The main window's one find window, made on first use (start folder: the active
    // panel's), shown and raised.
    static TFormFind* showFor(TForm1& main);

    QLineEdit* FolderEdit = nullptr;
    QLineEdit* MasksEdit = nullptr;
    QLineEdit* TextEdit = nullptr;
    QCheckBox* IgnoreCaseBox = nullptr;
    QLineEdit* MinSizeEdit = nullptr;  // bytes, or with K, M, G
    QLineEdit* MaxSizeEdit = nullptr;
    QCheckBox* FromDateBox = nullptr;
    QDateEdit* FromDateEdit = nullptr;
    QCheckBox* ToDateBox = nullptr;
    QDateEdit* ToDateEdit = nullptr;
    QCheckBox* ArchivesBox = nullptr;
    QCheckBox* LinksBox = nullptr;
    QCheckBox* DuplicatesBox = nullptr;
    QPushButton* StartButton = nullptr;
    QPushButton* StopButton = nullptr;
    QPushButton* FeedButton = nullptr;
    QLabel* Status = nullptr;
    QTreeWidget* Results = nullptr;

    void start();
    void stop();
    bool running() const { return worker_.joinable() && !finished_; }
    // Every result so far (in duplicate mode: the members of the groups).
    const std::vector<search::TFindResult>& results() const { return results_; }
    // The result of a list row (nullptr for a group's heading).
    const search::TFindResult* resultOf(const QTreeWidgetItem* item) const;
    // The active panel on the result; inside an archive, in the archive's folder. Closes the window.
    void goTo(const search::TFindResult& r);
    void view(const search::TFindResult& r, bool edit);
    // The results on disk as a found-files listing of the start folder in the active panel.
    void feedToPanel();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* e) override;

private:
    QTreeWidgetItem* makeRow(search::TFindResult&& r);
    void addBatch(std::vector<search::TFindResult>&& batch);
    void showGroups(std::vector<std::vector<search::TFindResult>>&& groups);
    void finish();
    void updateStatus();
    // Size and time of rows a names-only search left unknown, a few rows per turn of the
    // event loop so the window stays responsive.
    void joinWorker();

    TForm1& main_;
    std::thread worker_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> comparing_{false};
    bool finished_ = true;
    // Numbers the searches: what a replaced search still posts is dropped.
    unsigned generation_ = 0;
    search::TFindCounts counts_;
    std::string startDir_;
    std::vector<search::TFindResult> results_;
    QTimer tick_;
    // Private copies of archive entries for F3 and F4, gone with the window.
    std::unique_ptr<TArchiveFolders> copies_;
};

// "12", "12K", "3 M": a size in bytes; -1 for an empty field, -2 when it is no size.
std::int64_t parseSizeLimit(const QString& text);

}  // namespace kv
