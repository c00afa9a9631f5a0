#pragma once
// TFormDrive, the drive chooser (Alt+F1, Alt+F2, "Change drive", a right click on a
// panel's header): one row per mounted file system, "/media/stick: [Removable]". Choosing
// a row asks on a worker whether the drive answers, with a time limit, so a dead mount is
// "not ready" and the window never waits for it. A ready drive sends the target panel to
// its mount point, or to the other panel's folder when that lies on the same mount.
// Made once and kept; shown modeless, or modal for Alt+F2.
//   TFormDrive::instance(form).showFor("Right", true);
#include <QDialog>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/drives.h"

class QTableWidget;

namespace kv {

class TForm1;

class TFormDrive : public QDialog {
    Q_OBJECT
public:
    static TFormDrive& instance(TForm1& form);

    // Where the rows come from, and how a drive is asked whether it answers (run on a
    // worker; true: ready). Tests give stand-ins.
    std::function<std::vector<platform::DriveInfo>()> Drives;
    std::function<bool(const std::string& mountPoint)> Probe;
    // How long an answer is waited for before the drive counts as not ready.
    std::chrono::milliseconds AnswerLimit{2500};

    QTableWidget* DriveList = nullptr;

    // The row's text: the mount point, then ": [Removable]", ": [Network]", ": [CD-ROM]",
    // or for a fixed disk its volume label ("[No-name]" without one).
    static std::string rowText(const platform::DriveInfo& d, const std::string& label);

    // Sets the target panel ("Left"/"Right"), places and fills the chooser, shows it.
    void showFor(const std::string& side, bool modal);
    // Chooses a row (as a left click or Enter does); the answer comes later.
    void chooseRow(int row);
    // A readiness question is out.
    bool checking() const { return checking_; }
    const std::vector<platform::DriveInfo>& drives() const { return drives_; }

signals:
    // The target panel went to `folder`.
    void changed(const QString& folder);
    // The drive did not answer (the error box has been closed).
    void notReady(const QString& mountPoint);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    explicit TFormDrive(TForm1& form);
    void FormActivate();
    void answer(const std::string& mountPoint, bool ready);
    void goTo(const std::string& mountPoint);

    TForm1& form_;
    std::string side_ = "Left";
    std::vector<platform::DriveInfo> drives_;
    bool checking_ = false;
    bool boxShown_ = false;
    bool wasActive_ = false;
};

}  // namespace kv
