#pragma once
// How pppd's messages and exit codes read as the dialer's old progress reports, and the
// peers it can call. No Qt here.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/dialer/dial_service.h"

namespace kv::dialer {

// A progress report for one line pppd prints (run with nodetach), or nothing.
std::optional<DialReport> pppdLineReport(std::string_view line);

// The interface pppd names in "Using interface ppp0", or empty.
std::string pppdInterface(std::string_view line);

// The pid in the first line of a pppd pid file's text; 0 when there is none.
int pppdPid(std::string_view pidFileText);

// The last report for pppd's exit code. `reached`: the link was up; `hungUp`: the dialer
// stopped it.
DialReport pppdExitReport(int exitCode, bool reached, bool hungUp);

// The peer names: the plain files of `folder` (normally /etc/ppp/peers), sorted; files
// that editors or packages leave beside them are skipped.
std::vector<std::string> pppdPeers(const std::string& folder);

}  // namespace kv::dialer
