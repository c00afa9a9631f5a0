#pragma once
// The two questions a running job asks: TFormConflict (the target exists: both files'
// sizes and dates side by side; Overwrite, Skip, Overwrite all, Skip all, Cancel) and
// TFormFileError (the file, the system's reason; Skip, Retry, Cancel).
#include <QDialog>

#include "fileops/engine/decider.h"

class QLabel;
class QPushButton;

namespace kv {

class TFormConflict : public QDialog {
    Q_OBJECT
public:
    TFormConflict(const fileops::Conflict& c, QWidget* parent = nullptr);
    fileops::Decision answer() const { return answer_; }

    QLabel* Question = nullptr;
    QLabel* SourceFacts = nullptr;
    QLabel* TargetFacts = nullptr;
    QPushButton* OverwriteBtn = nullptr;
    QPushButton* SkipBtn = nullptr;
    QPushButton* OverwriteAllBtn = nullptr;
    QPushButton* SkipAllBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

private:
    fileops::Decision answer_ = fileops::Decision::Cancel;
};

class TFormFileError : public QDialog {
    Q_OBJECT
public:
    TFormFileError(const fileops::OpError& e, QWidget* parent = nullptr);
    fileops::Decision answer() const { return answer_; }

    QLabel* FileLabel = nullptr;
    QLabel* Reason = nullptr;
    QPushButton* SkipBtn = nullptr;
    QPushButton* RetryBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

private:
    fileops::Decision answer_ = fileops::Decision::Cancel;
};

// "dd.mm.yyyy, hh:mm", as the panels and the attributes dialog write dates.
QString shortDateTime(std::time_t t);

}  // namespace kv
