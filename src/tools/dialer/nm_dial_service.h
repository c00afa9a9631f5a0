#pragma once
// The dialer's service over NetworkManager's D-Bus interface: the phone book is the
// dialable connection profiles, "dial" activates one, "hang up" deactivates it, and the
// active connection's state changes are the progress reports.
#include <memory>

#include "tools/dialer/dial_service.h"

namespace kv::dialer {

// NetworkManager's service when it runs on the system bus; else nullptr.
std::unique_ptr<DialService> networkManagerService();

// Offers no entries: the service of a system without a connection manager.
std::unique_ptr<DialService> noDialService();

}  // namespace kv::dialer
