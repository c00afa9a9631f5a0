#pragma once
// The main window's layout pass as plain arithmetic, so the numbers can be checked
// without a window. Coordinates are those of the window's client area (below the menu).
#include <QRect>

#include <array>
#include <vector>

namespace kv {

struct MainLayoutInput {
    int outerWidth = 0;       // W: the window's width including its frame
    int clientWidth = 0;
    int clientHeight = 0;
    int splitter = 7;         // S: Main_Splitter, the gap between the panels
    int topStripHeight = 56;  // Panel3: 56 with tool bar and drive bars, 29 with the tool bar, 0
    bool statusBarVisible = true;
    int promptWidth = 0;      // ComRead's width (it sizes itself to the folder text)
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

}  // namespace kv
