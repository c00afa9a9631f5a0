// The XRandR side of the display modes on a real X server (xvfb-run gives one; skipped
// without DISPLAY). Two extra modes are added to the output first, so a switch has
// somewhere to go, and are taken away at the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tools/video/display_modes.h"

#if __has_include(<X11/extensions/Xrandr.h>)
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#define KV_TEST_XRANDR 1
#endif

namespace {

using kv::video::DisplayMode;
using kv::video::SwitchResult;

#ifdef KV_TEST_XRANDR
// Adds `width` x `height` modes (twice, at two refresh rates) to the first connected output.
struct ExtraModes {
    Display* display = XOpenDisplay(nullptr);
    RROutput output = 0;
    std::vector<RRMode> added;

    ExtraModes(std::initializer_list<std::pair<int, int>> sizes) {
        if (!display) return;
        Window root = DefaultRootWindow(display);
        XRRScreenResources* res = XRRGetScreenResourcesCurrent(display, root);
        for (int i = 0; res && i < res->noutput && !output; ++i)
            if (XRROutputInfo* info = XRRGetOutputInfo(display, res, res->outputs[i])) {
                if (info->connection == RR_Connected) output = res->outputs[i];
                XRRFreeOutputInfo(info);
            }
        int n = 0;
        for (auto [w, h] : sizes)
            for (int hz : {60, 75}) {
                char name[32];
                std::snprintf(name, sizeof name, "kvtest%d", n++);
                XRRModeInfo mode{};
                mode.width = w;
                mode.height = h;
                mode.hTotal = w + 160;
                mode.vTotal = h + 30;
                mode.dotClock = static_cast<unsigned long>(mode.hTotal) * mode.vTotal * hz;
                mode.hSyncStart = w + 16;
                mode.hSyncEnd = w + 112;
                mode.vSyncStart = h + 3;
                mode.vSyncEnd = h + 9;
                mode.name = name;
                mode.nameLength = static_cast<unsigned>(std::strlen(name));
                RRMode id = XRRCreateMode(display, root, &mode);
                if (id && output) XRRAddOutputMode(display, output, id), added.push_back(id);
            }
        XSync(display, False);
        if (res) XRRFreeScreenResources(res);
    }
    ~ExtraModes() {
        if (!display) return;
        for (RRMode id : added) {
            XRRDeleteOutputMode(display, output, id);
            XRRDestroyMode(display, id);
        }
        XCloseDisplay(display);
    }
};
#endif

TEST(XRandrModes, ListsSizesOnceAndSwitchesThereAndBack) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
#ifndef KV_TEST_XRANDR
    GTEST_SKIP() << "no XRandR headers";
#else
    {
        auto modes = kv::video::systemDisplayModes(true);
        if (!modes->unavailableReason().empty()) GTEST_SKIP() << modes->unavailableReason();
    }
    ExtraModes extra{{800, 600}, {1024, 768}};
    auto modes = kv::video::systemDisplayModes(true);
    const auto before = modes->current();
    ASSERT_TRUE(before);
    std::vector<DisplayMode> listed;
    for (int i = 0; auto m = modes->mode(i); ++i) listed.push_back(*m);
    for (size_t i = 0; i < listed.size(); ++i)
        for (size_t j = i + 1; j < listed.size(); ++j) EXPECT_FALSE(listed[i] == listed[j]) << i << " " << j;
    EXPECT_NE(std::find(listed.begin(), listed.end(), *before), listed.end());
    EXPECT_EQ(modes->setMode({1, 1, before->bitsPerPixel}), SwitchResult::BadMode);
    if (extra.added.size() != 4) GTEST_SKIP() << "the X server took no extra modes";

    const DisplayMode small{800, 600, before->bitsPerPixel};
    ASSERT_NE(std::find(listed.begin(), listed.end(), small), listed.end());
    EXPECT_EQ(modes->setMode(small), SwitchResult::Successful);
    EXPECT_EQ(modes->current(), small);
    EXPECT_EQ(modes->setMode(*before), SwitchResult::Successful);
    EXPECT_EQ(modes->current(), *before);
#endif
}

}  // namespace
