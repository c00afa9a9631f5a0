#include "tools/dialer/nm_reports.h"

namespace kv::dialer {

namespace {
// NMActiveConnectionStateReason values that matter here.
constexpr unsigned kReasonUserDisconnected = 2;
constexpr unsigned kReasonDeviceDisconnected = 3;
constexpr unsigned kReasonConnectTimeout = 6;
}  // namespace

std::optional<DialReport> nmReport(unsigned state, unsigned reason, bool reached, bool hungUp) {
    switch (state) {
        case kNmActivating: return DialReport{kConnectDevice, 0};
        case kNmActivated: return DialReport{kConnected, 0};
        case kNmDeactivated:
            if (hungUp || reason == kReasonUserDisconnected) return DialReport{kDisconnected, 0};
            // Up and then lost: dropped by the peer. Never up: no answer counts as busy.
            if (reached) return DialReport{kDisconnected, kPortDisconnected};
            if (reason == kReasonConnectTimeout || reason == kReasonDeviceDisconnected)
                return DialReport{kConnectDevice, kLineBusy};
            return DialReport{kConnectDevice, kOtherFailure};
        default: return std::nullopt;
    }
}

bool isDialableType(std::string_view t) {
    return t == "gsm" || t == "cdma" || t == "vpn" || t == "wireguard" || t == "pppoe" || t == "bluetooth" ||
           t == "802-11-wireless";
}

}  // namespace kv::dialer
