#pragma once
// TFormProgress: the running job's file name, a bar for that file and one for the whole job,
// the counts, the speed and the time left, Background and Cancel. It only shows what it is
// given; JobQueue feeds it with the job's progress and the moment it was read.
#include <QDialog>

#include "fileops/engine/progress.h"
#include "fileops/engine/rate_meter.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace kv {

class TFormProgress : public QDialog {
    Q_OBJECT
public:
    explicit TFormProgress(const QString& caption, QWidget* parent = nullptr);
    void show(const fileops::ProgressSnapshot& s,
              fileops::RateMeter::Clock::time_point now = fileops::RateMeter::Clock::now());
    // Queued behind a job on the same device.
    void showWaiting();

    QLabel* FileName = nullptr;
    QProgressBar* FileBar = nullptr;   // the file being copied
    QProgressBar* TotalBar = nullptr;  // the whole job: by bytes where it has any, else by entries
    QLabel* Counts = nullptr;
    QLabel* Speed = nullptr;               // "12.5 MB/s, 0:42 left"
    QPushButton* BackgroundBtn = nullptr;  // the job goes on, the window closes
    QPushButton* CancelBtn = nullptr;

signals:
    void cancelRequested();
    void backgroundRequested();

protected:
    void reject() override;  // Esc or the close box cancel the job; the host closes the window

private:
    fileops::RateMeter rate_;
};

// "1.5 MB/s"; "0:42", "1:02:03": how the window writes a speed and a time.
QString speedText(double bytesPerSecond);
QString durationText(std::chrono::seconds s);

}  // namespace kv
