#pragma once
// The dialer's service where no NetworkManager runs: the pppd peers are the entries,
// "dial" runs `pppd call <peer> nodetach` and reads its messages, "hang up" stops it.
#include <QString>

#include <memory>
#include <string>

#include "tools/dialer/dial_service.h"

namespace kv::dialer {

std::unique_ptr<DialService> pppdService(std::string peersFolder = "/etc/ppp/peers",
                                         QString pppdProgram = QStringLiteral("pppd"));

}  // namespace kv::dialer
