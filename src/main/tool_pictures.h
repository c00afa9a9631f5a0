#pragma once
// The small pictures of the tool bar and the drive bars, 16 x 15 pixels, drawn here in
// the flat, hard-edged style of the old bars.
#include <QPixmap>

#include "platform/drives.h"

namespace kv {

inline constexpr int kPictureWidth = 16;
inline constexpr int kPictureHeight = 15;

// The tool bar's buttons in order: Information, NotePad, SysInfo, Internet, Clipboard,
// CD-Player, Calculator, Resource Explorer.
QPixmap toolPicture(int index);
// Floppy for removable media, disc for CD-ROM, hard disk for fixed and network drives.
QPixmap drivePicture(platform::DriveKind kind);

}  // namespace kv
