#pragma once
// The folder size that F3 (or a middle click) on a folder asks for: the sizes below the
// folder are summed on a worker thread while the status strip shows the running total;
// Esc stops the count. A finished count is stored in the panel's entry, which then shows
// the size in place of its folder mark. The window stays responsive all the while.
//   TFolderSizeJob::start(form, panel, "/home/me/photos");
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QTimer;

namespace kv {

class TForm1;
class TFPanel;

// What counts: TScanSizer in the program; tests give a slow stand-in.
class FolderCounter {
public:
    virtual ~FolderCounter() = default;
    virtual std::int64_t Size(const std::string& folder) = 0;  // runs on the worker
    virtual void Stop() = 0;                                   // from any thread
    virtual std::int64_t FilesCount() const = 0;
    virtual std::int64_t FilesSize() const = 0;
};

class TFolderSizeJob : public QObject {
    Q_OBJECT
public:
    // Makes the counter of each new count; tests replace it.
    static std::function<std::unique_ptr<FolderCounter>()>& counterFactory();

    // Starts counting `folder`, the entry under the cursor of `panel`; a count that runs
    // already is stopped first.
    static TFolderSizeJob* start(TForm1& form, TFPanel* panel, const std::string& folder);
    // The count that runs now, or null.
    static TFolderSizeJob* running(TForm1& form);

    ~TFolderSizeJob() override;

    void stop();
    bool finished() const;
    const std::string& folder() const { return folder_; }

signals:
    // The count has ended (stopped or not) and its result is shown.
    void done(bool stopped, qint64 size);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Shared;
    TFolderSizeJob(TForm1& form, TFPanel* panel, std::string folder);
    void poll();
    void finish();

    TForm1& form_;
    TFPanel* panel_;
    std::string folder_;
    std::string name_;    // the entry's name in the panel's listing
    std::string parent_;  // the panel's folder when the count began
    std::shared_ptr<Shared> shared_;
    QTimer* timer_ = nullptr;
    bool ended_ = false;
};

// File_Work's handler for folders.
void showFolderSize(TForm1& form, const std::string& folder);

}  // namespace kv
