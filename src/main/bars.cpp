// Hiding the bars with the right mouse button, and the drive bars' drive change.
#include "main/bars.h"

#include <QMessageBox>
#include <QMouseEvent>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "main/main_form.h"
#include "platform/drives.h"

namespace kv {

namespace {

class BarMouse : public QObject {
public:
    explicit BarMouse(TForm1& form) : QObject(&form), form_(form) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::MouseButtonPress) return false;
        if (static_cast<QMouseEvent*>(event)->button() != Qt::RightButton) return false;
        if (watched == form_.ToolBar)
            form_.ToolBarMouseDown();
        else if (watched == form_.Panel3)
            form_.Panel3MouseDown();
        else if (watched == form_.StatusBar1)
            form_.StatusBar1MouseDown();
        else
            return false;
        return true;
    }

private:
    TForm1& form_;
};

// Whether a drive answers: its size is known, and the panel may list it. Asked on a worker;
// a mount that never answers is given up after the limit.
struct DriveCheck {
    std::atomic<bool> done{false};
    std::atomic<bool> ready{false};
};
constexpr auto kDriveAnswerLimit = std::chrono::milliseconds(2500);

}  // namespace

void installBarMouseHandlers(TForm1& form) {
    auto* filter = new BarMouse(form);
    for (QWidget* w : {form.ToolBar, form.Panel3, form.StatusBar1}) w->installEventFilter(filter);
}

void TForm1::ToolBarMouseDown() {
    cfg_.Main.Show_ToolBar = false;
    applyBarVisibility();
}

void TForm1::Panel3MouseDown() {
    cfg_.Main.Show_DriveBar = false;
    applyBarVisibility();
}

void TForm1::StatusBar1MouseDown() {
    cfg_.Main.Show_StatusBar = false;
    applyBarVisibility();
}

void TForm1::DriveBarClick(const std::string& side, const std::string& mountPoint) {
    auto check = std::make_shared<DriveCheck>();
    // Detached: a hung network mount keeps only this thread waiting.
    std::thread([check, mountPoint] {
        check->ready = platform::driveAnswers(mountPoint);
        check->done = true;
    }).detach();
    auto* poll = new QTimer(this);
    poll->setInterval(10);
    const auto asked = std::chrono::steady_clock::now();
    connect(poll, &QTimer::timeout, this, [this, poll, check, side, mountPoint, asked] {
        const bool late = std::chrono::steady_clock::now() - asked > kDriveAnswerLimit;
        if (!check->done && !late) return;
        poll->stop();
        poll->deleteLater();
        if (!check->done || !check->ready) {
            QMessageBox::critical(this, QStringLiteral("Error"),
                                  QStringLiteral("Drive not ready, please select another drive"));
        } else {
            changeFolder(panelOf(side), mountPoint);
        }
        // An information view shows data of the other panel's drive.
        TFPanel* other = side == "Left" ? RightPanel : LeftPanel;
        if (other->Style == 2) other->update();
    });
    poll->start();
}

}  // namespace kv
