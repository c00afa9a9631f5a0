#pragma once
// The connection service the dialer drives: a phone book of entries, a dial that reports
// its progress by the old connection-state numbers, and a hang-up. A desktop's service
// (NetworkManager, pppd) or a test's fake sits behind it. No Qt here.
#include <functional>
#include <string>
#include <vector>

namespace kv::dialer {

// Connection states, by their old numbers.
enum State : int {
    kOpeningPort = 0,
    kConnectDevice = 2,
    kDeviceConnected = 3,
    kAuthenticate = 5,
    kAuthenticated = 14,
    kConnected = 8192,
    kDisconnected = 8193,
};

// Failure codes, by their old numbers.
enum Error : int {
    kPortDisconnected = 629,  // the peer dropped the link
    kLineBusy = 676,          // busy, no carrier, the chat script gave up
    kOtherFailure = 736,      // anything else
};

struct DialReport {
    int state = 0;
    int error = 0;  // 0: no error
};

class DialService {
public:
    using Progress = std::function<void(DialReport)>;
    virtual ~DialService() = default;
    // The entries' names; empty when there are none or they cannot be read.
    virtual std::vector<std::string> entries() = 0;
    // Starts dialing `entry`; `progress` may be called on any thread, until hangUp() or
    // the service's end. Returns 0, or an error code when the dial cannot even start.
    virtual int dial(const std::string& entry, Progress progress) = 0;
    // Hangs up the connection the last dial made, if any.
    virtual void hangUp() = 0;
    // The service's text for an error code, at most 100 characters.
    virtual std::string errorText(int code) = 0;
};

}  // namespace kv::dialer
