#pragma once
// TMyToolBar, a drive bar: one flat picture button per mounted file system, drawn by the
// bar itself. The button under the mouse gets a raised frame; a press of any mouse button
// on a button sends the bar's panel to that drive. Each button's tooltip names its mount.
#include <QPixmap>
#include <QWidget>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "platform/drives.h"

namespace kv {

class TMyToolBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kStep = 25;       // button step and cell width
    static constexpr int kBarHeight = 30;  // the bar's height on the top strip

    TMyToolBar(const std::string& side, QWidget* parent);

    std::string Side;  // "Left" or "Right": the panel the bar serves
    int ButtonStep = kStep;
    int ButtonHeight = kStep;
    int ButtonCount = 0;
    int HotIndex = 0;      // 1-based button under the mouse, 0 for none
    int PrevHotIndex = 0;  // the button that has the hover frame now
    // Per drive: "floppy", "hdd", "network" or "cdrom".
    std::vector<std::string> Kinds;

    // Rebuilds the buttons from the drive list.
    void setDrives(const std::vector<platform::DriveInfo>& drives);
    const std::vector<platform::DriveInfo>& drives() const { return drives_; }
    // Width needed for all buttons.
    int fullWidth() const { return 6 + kStep * ButtonCount; }

    // The 1-based button at x: pixels 0..24 give 1, 25..49 give 2; left of the bar 0.
    static int hotIndexAt(int x);
    // Mouse move as the bar handles it: a new hot index, the hover frame moved.
    void MouseMoveTo(int x);
    // The tooltip of the button at x ("" beyond the last one).
    QString toolTipAt(int x) const;
    // The cell of button `index` (1-based) that the hover frame outlines.
    QRect frameRect(int index) const;

    // Raised when the mouse leaves the bar.
    std::function<void()> OnMouseLeave;
    // Called with the drive's mount point when its button is pressed.
    std::function<void(const std::string& side, const std::string& mountPoint)> OnDriveClick;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void leaveEvent(QEvent* e) override;
    bool event(QEvent* e) override;

private:
    std::vector<platform::DriveInfo> drives_;
    std::array<QPixmap, 4> pictures_;  // floppy, hdd, cdrom, network (the hdd again)
};

}  // namespace kv
