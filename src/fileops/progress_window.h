#pragma once
// TFormProgress: the running job's file name, a bar for the bytes and one for the files,
// the byte counts, Background and Cancel. It only shows what it is given; JobQueue feeds it.
#include <QDialog>

#include "fileops/engine/progress.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace kv {

class TFormProgress : public QDialog {
    Q_OBJECT
public:
    explicit TFormProgress(const QString& caption, QWidget* parent = nullptr);
    void show(const fileops::ProgressSnapshot& s);
    // Queued behind a job on the same device.
    void showWaiting();

    QLabel* FileName = nullptr;
    QProgressBar* BytesBar = nullptr;
    QProgressBar* FilesBar = nullptr;
    QLabel* Counts = nullptr;
    QPushButton* BackgroundBtn = nullptr;  // the job goes on, the window closes
    QPushButton* CancelBtn = nullptr;

signals:
    void cancelRequested();
    void backgroundRequested();

protected:
    void reject() override;  // Esc or the close box cancel the job; the host closes the window
};

}  // namespace kv
