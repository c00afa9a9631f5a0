#pragma once
// TFormFormat, the floppy formatter: the removable whole disks the disk service knows
// (device, model, size), a full format preset (quick on request), an optional volume
// label. Format asks for a confirmation that names the disk, then hands the work to the
// service; the window waits for its answer without blocking and cannot be closed
// meanwhile.
//   TFormFormat d(parent, service); d.exec();
#include <QDialog>

#include <vector>

#include "main/format/disk_service.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace kv::format {

class TFormFormat : public QDialog {
    Q_OBJECT
public:
    TFormFormat(QWidget* parent, DiskService& service);

    QListWidget* ListBox1 = nullptr;
    QCheckBox* CheckBox1 = nullptr;  // quick format
    QLineEdit* Edit1 = nullptr;      // volume label
    QPushButton* Button1 = nullptr;  // Format
    QPushButton* Button2 = nullptr;  // Close
    QLabel* Label2 = nullptr;        // what happens

    const std::vector<FormatCandidate>& candidates() const { return candidates_; }
    bool busy() const { return busy_; }
    // Re-reads the disks from the service.
    void refresh();
    void Button1Click();

    // Refused while the service is at work on the disk.
    void reject() override;

signals:
    void finished(const QString& error);

private:
    DiskService& service_;
    std::vector<FormatCandidate> candidates_;
    bool busy_ = false;
};

}  // namespace kv::format
