#pragma once
// The dialer's service where no NetworkManager runs: the pppd peers are the entries,
// "dial" runs `pppd call <peer> updetach` and reads its messages until the link is up and
// pppd goes to the background; "hang up" stops it, through its pid file once it is there.
// A link that is up outlives the dialer window, as a dialed line always did.
#include <QString>

#include <memory>
#include <string>

#include "tools/dialer/dial_service.h"

namespace kv::dialer {

// `runFolder` holds pppd's pid files ("ppp0.pid": the pid, then the interface).
std::unique_ptr<DialService> pppdService(std::string peersFolder = "/etc/ppp/peers",
                                         QString pppdProgram = QStringLiteral("pppd"),
                                         std::string runFolder = "/run");

}  // namespace kv::dialer
