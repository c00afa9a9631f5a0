#pragma once
// A drive bar: one flat button per mounted file system; a click sends its panel there.
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

#include "platform/drives.h"

namespace kv {

class TMyToolBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kStep = 25;
    TMyToolBar(const std::string& side, QWidget* parent);

    std::string Side;
    // Rebuilds the buttons from the drive list.
    void setDrives(const std::vector<platform::DriveInfo>& drives);
    const std::vector<platform::DriveInfo>& drives() const { return drives_; }
    // Width needed for all buttons.
    int fullWidth() const { return 6 + kStep * static_cast<int>(drives_.size()); }

    // Called with the drive's mount point when its button is clicked.
    std::function<void(const std::string& side, const std::string& mountPoint)> OnDriveClick;

private:
    std::vector<platform::DriveInfo> drives_;
};

}  // namespace kv
