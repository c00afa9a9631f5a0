#pragma once
// The status bar's count of file jobs still running or waiting ("2 jobs"), hidden when there
// are none; a click opens the jobs window. After Background it is what shows a job goes on.
#include <QToolButton>

namespace kv {

class TJobsIndicator : public QToolButton {
    Q_OBJECT
public:
    explicit TJobsIndicator(QWidget* parent);
    void refresh();
};

}  // namespace kv
