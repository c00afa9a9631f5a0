#pragma once
// The main window's layout pass as plain arithmetic, so the numbers can be checked
// without a window. Coordinates are those of the window's client area (below the menu).
#include <QRect>

#include <array>
#include <vector>

namespace kv {

struct MainLayoutInput {
    int outerWidth = 0;  // W: the window's width including its frame
    int clientWidth = 0;
    int clientHeight = 0;
    int splitter = 7;         // S: Main_Splitter, the gap between the panels
    int topStripHeight = 56;  // Panel3: 56 with tool bar and drive bars, 29 with the tool bar, 0
    bool statusBarVisible = true;
    int promptWidth = 0;  // ComRead's wanted width (the whole folder text)
};

struct MainLayout {
    static constexpr int kCommandStripHeight = 42;  // Panel_Down
    static constexpr int kSpacerHeight = 3;         // Panel1
    static constexpr int kPromptHeight = 17;        // Panel_Dos
    static constexpr int kHotKeyHeight = 23;        // HotKeyBox
    static constexpr int kStatusBarHeight = 19;     // StatusBar1

    QRect panel3, leftPanel, rightPanel, panelDown, panelDos, comRead, comLine, hotKeyBox, statusBar;
    std::array<QRect, 7> functionKeys;  // F2..F8, in HotKeyBox coordinates
    QRect splitRect;                    // the gap between the panels
    std::vector<QRect> backgroundGaps;  // painted in the window colour
};

MainLayout computeMainLayout(const MainLayoutInput& in);

// The prompt's width in a prompt strip `stripWidth` wide: what it wants, but never more than
// leaves the command line a third of the strip.
int promptRoom(int wanted, int stripWidth);

// The old window's frame around its client area: 4 px at the sides and the bottom, a 19 px
// caption and a 19 px menu bar at the top. kv.ini keeps the window's outer bounds.
inline constexpr int kOldFrameWidth = 8;    // W = client width + 8
inline constexpr int kOldFrameHeight = 46;  // H = client height + 46

// Where a window with outer bounds `window` goes: where it is when it overlaps one of
// `screens`, else onto `primary` (a monitor unplugged since), keeping its size where it fits.
QRect placeOnScreens(const QRect& window, const std::vector<QRect>& screens, const QRect& primary);

}  // namespace kv
