#pragma once
// udisks2 on a given bus connection (the system bus in the program; tests start a private
// bus with a stand-in service).
#include <QDBusConnection>

#include <memory>

#include "main/format/disk_service.h"

namespace kv::format {

std::unique_ptr<DiskService> makeUDisksService(const QDBusConnection& bus);

}  // namespace kv::format
