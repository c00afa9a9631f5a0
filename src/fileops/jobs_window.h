#pragma once
// The jobs window (Ctrl+J): every queued or running file job with its caption, the file it
// works on, a progress bar and Cancel. It stays open beside the panels and follows the
// queue as jobs start and end.
#include <QDialog>
#include <QTimer>

#include <vector>

#include "fileops/job_queue.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

namespace kv {

class TFormJobs : public QDialog {
    Q_OBJECT
public:
    explicit TFormJobs(QWidget* parent = nullptr);
    // The owner's one jobs window, made on first use, shown and raised.
    static TFormJobs* showFor(QWidget* owner);

    struct RowWidgets {
        JobQueue::Id id = 0;
        QWidget* box = nullptr;
        QLabel* caption = nullptr;  // the command and what it works on
        QLabel* file = nullptr;     // the file it is on, or that it waits
        QProgressBar* bar = nullptr;
        QPushButton* cancel = nullptr;
    };
    const std::vector<RowWidgets>& jobRows() const { return rows_; }
    QLabel* Empty = nullptr;  // "No jobs are running."

    void refresh();

private:
    void rebuild(const std::vector<JobQueue::Row>& jobs);

    QVBoxLayout* list_ = nullptr;
    std::vector<RowWidgets> rows_;
    QTimer tick_;
};

}  // namespace kv
