// XRandR's side of the display modes: the modes of the primary output (else the first
// connected one with a CRTC), one entry per size in XRandR's order, and a switch that
// grows or shrinks the screen around the new size.
#include "tools/video/display_modes.h"

#include <algorithm>
#include <vector>

#ifdef KV_HAVE_XRANDR
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#endif

namespace kv::video {

#ifdef KV_HAVE_XRANDR
namespace {

// X reports a refused request through an error handler that by default ends the program;
// while a switch runs the errors are only counted.
int xErrors = 0;
int countXError(Display*, XErrorEvent*) {
    ++xErrors;
    return 0;
}

struct Size {
    int width, height;
};

class XRandrModes : public DisplayModes {
public:
    explicit XRandrModes(Display* display) : display_(display) { readModes(); }
    ~XRandrModes() override { XCloseDisplay(display_); }

    std::string unavailableReason() const override {
        return output_ ? std::string() : std::string("The X server reports no connected display output.");
    }

    std::optional<DisplayMode> current() override {
        XRRScreenResources* res = XRRGetScreenResourcesCurrent(display_, root());
        if (!res) return std::nullopt;
        std::optional<DisplayMode> mode;
        if (XRRCrtcInfo* crtc = crtc_ ? XRRGetCrtcInfo(display_, res, crtc_) : nullptr) {
            if (crtc->mode)
                mode = DisplayMode{static_cast<int>(crtc->width), static_cast<int>(crtc->height), depth()};
            XRRFreeCrtcInfo(crtc);
        }
        XRRFreeScreenResources(res);
        if (!mode) mode = DisplayMode{screenSize().width, screenSize().height, depth()};
        return mode;
    }

    std::optional<DisplayMode> mode(int index) override {
        if (index == 0) readModes();  // a new listing sees modes added since
        if (index < 0 || index >= static_cast<int>(sizes_.size())) return std::nullopt;
        return DisplayMode{sizes_[index].width, sizes_[index].height, depth()};
    }

    SwitchResult setMode(const DisplayMode& wanted) override;

private:
    Window root() const { return RootWindow(display_, screen()); }
    int screen() const { return DefaultScreen(display_); }
    // The screen's size now: Xlib's DisplayWidth keeps the size at connection time until it
    // is told of changes, so ask the server for the root window's.
    Size screenSize() const {
        Window rootReturn = 0;
        int x = 0, y = 0;
        unsigned w = 0, h = 0, border = 0, depthReturn = 0;
        if (!XGetGeometry(display_, root(), &rootReturn, &x, &y, &w, &h, &border, &depthReturn))
            return {DisplayWidth(display_, screen()), DisplayHeight(display_, screen())};
        return {static_cast<int>(w), static_cast<int>(h)};
    }
    int depth() const { return DefaultDepth(display_, screen()); }
    void readModes();

    Display* display_;
    RROutput output_ = 0;
    RRCrtc crtc_ = 0;
    std::vector<Size> sizes_;
};

void XRandrModes::readModes() {
    sizes_.clear();
    output_ = 0;
    crtc_ = 0;
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(display_, root());
    if (!res) return;
    auto usable = [&](RROutput id, XRROutputInfo*& info) {
        info = XRRGetOutputInfo(display_, res, id);
        if (info && info->connection == RR_Connected && info->crtc && info->nmode > 0) return true;
        if (info) XRRFreeOutputInfo(info);
        info = nullptr;
        return false;
    };
    XRROutputInfo* info = nullptr;
    RROutput chosen = XRRGetOutputPrimary(display_, root());
    if (!chosen || !usable(chosen, info)) {
        chosen = 0;
        for (int i = 0; i < res->noutput && !chosen; ++i)
            if (usable(res->outputs[i], info)) chosen = res->outputs[i];
    }
    if (chosen && info) {
        output_ = chosen;
        crtc_ = info->crtc;
        for (int i = 0; i < info->nmode; ++i)
            for (int m = 0; m < res->nmode; ++m) {
                const XRRModeInfo& mi = res->modes[m];
                if (mi.id != info->modes[i]) continue;
                const Size s{static_cast<int>(mi.width), static_cast<int>(mi.height)};
                const bool known = std::any_of(sizes_.begin(), sizes_.end(), [&](const Size& k) {
                    return k.width == s.width && k.height == s.height;
                });
                if (!known) sizes_.push_back(s);
            }
        XRRFreeOutputInfo(info);
    }
    XRRFreeScreenResources(res);
}

SwitchResult XRandrModes::setMode(const DisplayMode& wanted) {
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(display_, root());
    if (!res || !output_ || !crtc_) {
        if (res) XRRFreeScreenResources(res);
        return SwitchResult::Failed;
    }
    SwitchResult result = SwitchResult::BadMode;
    XRROutputInfo* out = XRRGetOutputInfo(display_, res, output_);
    XRRCrtcInfo* crtc = XRRGetCrtcInfo(display_, res, crtc_);
    // The output's first mode of that size: XRandR lists the preferred refresh first.
    RRMode modeId = 0;
    for (int i = 0; out && i < out->nmode && !modeId; ++i)
        for (int m = 0; m < res->nmode; ++m)
            if (res->modes[m].id == out->modes[i] && static_cast<int>(res->modes[m].width) == wanted.width &&
                static_cast<int>(res->modes[m].height) == wanted.height)
                modeId = res->modes[m].id;
    if (modeId && crtc && wanted.bitsPerPixel == depth()) {
        const bool sideways = crtc->rotation & (RR_Rotate_90 | RR_Rotate_270);
        const int w = sideways ? wanted.height : wanted.width;
        const int h = sideways ? wanted.width : wanted.height;
        // The screen must hold every lit CRTC, this one at its new size.
        int needW = crtc->x + w, needH = crtc->y + h;
        for (int i = 0; i < res->ncrtc; ++i) {
            if (res->crtcs[i] == crtc_) continue;
            if (XRRCrtcInfo* other = XRRGetCrtcInfo(display_, res, res->crtcs[i])) {
                if (other->mode) {
                    needW = std::max(needW, other->x + static_cast<int>(other->width));
                    needH = std::max(needH, other->y + static_cast<int>(other->height));
                }
                XRRFreeCrtcInfo(other);
            }
        }
        int minW = 0, minH = 0, maxW = 0, maxH = 0;
        XRRGetScreenSizeRange(display_, root(), &minW, &minH, &maxW, &maxH);
        if (needW > maxW || needH > maxH) {
            result = SwitchResult::BadMode;
        } else {
            const int s = screen();
            const Size cur = screenSize();
            const int curW = cur.width, curH = cur.height;
            // Keep the screen's dots per millimetre (Xlib's figures of the connection's start).
            const int startW = DisplayWidth(display_, s), startH = DisplayHeight(display_, s);
            const int mmW = DisplayWidthMM(display_, s), mmH = DisplayHeightMM(display_, s);
            auto mmFor = [](int px, int startPx, int startMm) {
                return startPx > 0 && startMm > 0
                           ? std::max(1, static_cast<int>(1LL * px * startMm / startPx))
                           : px;
            };
            xErrors = 0;
            auto oldHandler = XSetErrorHandler(countXError);
            XGrabServer(display_);
            if (needW > curW || needH > curH)
                XRRSetScreenSize(display_, root(), std::max(needW, curW), std::max(needH, curH),
                                 mmFor(std::max(needW, curW), startW, mmW),
                                 mmFor(std::max(needH, curH), startH, mmH));
            const Status st = XRRSetCrtcConfig(display_, res, crtc_, CurrentTime, crtc->x, crtc->y, modeId,
                                               crtc->rotation, crtc->outputs, crtc->noutput);
            if (st == RRSetConfigSuccess && (needW != curW || needH != curH))
                XRRSetScreenSize(display_, root(), needW, needH, mmFor(needW, startW, mmW),
                                 mmFor(needH, startH, mmH));
            XUngrabServer(display_);
            XSync(display_, False);
            XSetErrorHandler(oldHandler);
            result =
                st == RRSetConfigSuccess && xErrors == 0 ? SwitchResult::Successful : SwitchResult::Failed;
        }
    }
    if (crtc) XRRFreeCrtcInfo(crtc);
    if (out) XRRFreeOutputInfo(out);
    XRRFreeScreenResources(res);
    return result;
}

}  // namespace
#endif

std::unique_ptr<DisplayModes> systemDisplayModes(bool x11Session) {
    if (!x11Session)
        return std::make_unique<NoDisplayModes>(
            "Display modes can be changed here only on an X11 desktop (XRandR); "
            "use the desktop's own display settings.");
#ifdef KV_HAVE_XRANDR
    Display* display = XOpenDisplay(nullptr);
    if (!display) return std::make_unique<NoDisplayModes>("The X display cannot be opened.");
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(display, &event, &error) || !XRRQueryVersion(display, &major, &minor) ||
        (major == 1 && minor < 3)) {
        XCloseDisplay(display);
        return std::make_unique<NoDisplayModes>(
            "The X server has no XRandR 1.3, so its display modes cannot be changed.");
    }
    return std::make_unique<XRandrModes>(display);
#else
    return std::make_unique<NoDisplayModes>(
        "This build has no XRandR support, so display modes cannot be changed.");
#endif
}

}  // namespace kv::video
