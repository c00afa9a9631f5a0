#pragma once
// The display driver as the video-mode window sees it: the current mode, the modes it
// offers one by one from number 0, and a switch to one of them. XRandR on an X11 desktop;
// elsewhere a stand-in that offers nothing and says why. No Qt here.
#include <memory>
#include <optional>
#include <string>

namespace kv::video {

struct DisplayMode {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    friend bool operator==(const DisplayMode&, const DisplayMode&) = default;
};

// The old switch results, by their numbers.
enum class SwitchResult {
    Successful = 0,
    RestartNeeded = 1,
    Failed = -1,
    BadMode = -2,
    NotUpdated = -3,
    BadFlags = -4
};

class DisplayModes {
public:
    virtual ~DisplayModes() = default;
    // Empty when modes can be listed and switched; else the reason, for the user.
    virtual std::string unavailableReason() const = 0;
    virtual std::optional<DisplayMode> current() = 0;
    // Mode number `index` (from 0) in the driver's order; nothing past the last.
    virtual std::optional<DisplayMode> mode(int index) = 0;
    // Switches with the driver's default refresh rate.
    virtual SwitchResult setMode(const DisplayMode& mode) = 0;
};

// XRandR's modes of the primary output when `x11Session` and the X server has XRandR;
// else the stand-in.
std::unique_ptr<DisplayModes> systemDisplayModes(bool x11Session);

// Offers nothing; every switch fails.
class NoDisplayModes : public DisplayModes {
public:
    explicit NoDisplayModes(std::string reason) : reason_(std::move(reason)) {}
    std::string unavailableReason() const override { return reason_; }
    std::optional<DisplayMode> current() override { return std::nullopt; }
    std::optional<DisplayMode> mode(int) override { return std::nullopt; }
    SwitchResult setMode(const DisplayMode&) override { return SwitchResult::Failed; }

private:
    std::string reason_;
};

}  // namespace kv::video
