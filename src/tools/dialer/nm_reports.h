#pragma once
// How NetworkManager's active-connection states and reasons read as the dialer's old
// progress reports. No Qt here.
#include <optional>
#include <string_view>

#include "tools/dialer/dial_service.h"

namespace kv::dialer {

// NMActiveConnectionState values.
enum NmState : unsigned {
    kNmUnknown = 0,
    kNmActivating = 1,
    kNmActivated = 2,
    kNmDeactivating = 3,
    kNmDeactivated = 4
};

// `reached`: whether this connection was activated before. `hungUp`: whether the dialer
// asked for the deactivation. Nothing to report for states that say nothing new.
std::optional<DialReport> nmReport(unsigned state, unsigned reason, bool reached, bool hungUp);

// The connection types the dialer offers: what a desktop "dials" (mobile broadband, VPN,
// PPPoE, Bluetooth dial-up, Wi-Fi).
bool isDialableType(std::string_view nmType);

}  // namespace kv::dialer
