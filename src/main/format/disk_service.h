#pragma once
// The service that lists disks and formats them: udisks2 over the system D-Bus in the
// program, a fake in tests. Nothing here formats by itself.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "main/format/disk_filter.h"

namespace kv::format {

struct FormatRequest {
    std::string type = "vfat";  // the file system to make
    std::string label;          // the volume label; empty for none
    bool quick = false;         // false: the disk is overwritten with zeros first
};

class DiskService {
public:
    virtual ~DiskService() = default;

    // Whether the service answers; `why` says what is missing when it does not.
    virtual bool available(std::string& why) = 0;
    // Every block device and drive the service knows; false with `error` on failure.
    virtual bool inventory(std::vector<BlockRecord>& blocks, std::vector<DriveRecord>& drives,
                           std::string& error) = 0;
    // Formats the block `objectPath`; `done` runs on the GUI thread when the service has
    // answered, with an empty text on success or the service's error.
    virtual void format(const std::string& objectPath, const FormatRequest& request,
                        std::function<void(const std::string& error)> done) = 0;
};

// The udisks2 service on the system bus.
std::unique_ptr<DiskService> makeUDisksService();

// Makes the service each use of the formatter talks to; tests replace it with a fake.
std::function<std::unique_ptr<DiskService>()>& diskServiceFactory();

}  // namespace kv::format
