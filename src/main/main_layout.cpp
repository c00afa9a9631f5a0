#include "main/main_layout.h"

#include <algorithm>

namespace kv {

MainLayout computeMainLayout(const MainLayoutInput& in) {
    MainLayout L;
    const int W = in.outerWidth;
    const int S = std::max(0, in.splitter);
    const int cw = in.clientWidth;

    L.panel3 = QRect(0, 0, cw, std::max(0, in.topStripHeight));
    const int statusH = in.statusBarVisible ? MainLayout::kStatusBarHeight : 0;
    L.statusBar = QRect(0, in.clientHeight - statusH, cw, statusH);
    L.panelDown =
        QRect(0, L.statusBar.top() - MainLayout::kCommandStripHeight, cw, MainLayout::kCommandStripHeight);
    // Inside Panel_Down: spacer, prompt strip, function keys.
    L.panelDos = QRect(0, MainLayout::kSpacerHeight, cw, MainLayout::kPromptHeight);
    L.hotKeyBox =
        QRect(0, MainLayout::kSpacerHeight + MainLayout::kPromptHeight, cw, MainLayout::kHotKeyHeight);

    // Panels: left 1, top T + 3, width W div 2 - S; the right one fills the rest but for
    // the frame (10 px: the old window's border and a 1 px margin on each side).
    const int T = L.panel3.top() + L.panel3.height();
    const int top = T + 3;
    const int height = std::max(0, L.panelDown.top() - top - 1);
    const int leftWidth = std::max(0, W / 2 - S);
    L.leftPanel = QRect(1, top, leftWidth, height);
    const int rightLeft = L.leftPanel.left() + leftWidth + S;
    L.rightPanel = QRect(rightLeft, top, std::max(0, W - leftWidth - S - 10), height);

    // Command line: from the prompt's right edge to 2 px before the strip's end.
    L.comRead = QRect(0, 0, promptRoom(in.promptWidth, L.panelDos.width()), MainLayout::kPromptHeight - 2);
    const int comLeft = L.comRead.left() + L.comRead.width();
    L.comLine =
        QRect(comLeft, 0, std::max(0, L.panelDos.width() - comLeft - 2), MainLayout::kPromptHeight - 2);

    // Function keys: the row is W - 8 wide (the client width when the frame is 4 px a side);
    // F2..F7 share it in sevenths from x = 2 with 2 px gaps, F8 takes what is left.
    int rowWidth = L.hotKeyBox.width();
    if (rowWidth < W - 8) rowWidth = W - 8;
    L.hotKeyBox.setWidth(rowWidth);
    const int keyWidth = std::max(0, (rowWidth - 16) / 7);
    int x = 2;
    for (int i = 0; i < 6; ++i) {
        L.functionKeys[i] = QRect(x, 0, keyWidth, MainLayout::kHotKeyHeight);
        x += keyWidth + 2;
    }
    L.functionKeys[6] = QRect(x, 0, std::max(0, rowWidth - 2 - x), MainLayout::kHotKeyHeight);

    // The splitter rectangle spans the gap and one row below the panels.
    L.splitRect = QRect(QPoint(L.leftPanel.left() + leftWidth, top),
                        QPoint(L.leftPanel.left() + leftWidth + S - 1, top + height));

    // What no control covers: the splitter, a 3 px strip under the panels, the strip
    // between the top strip and the panels, a column left of the left panel, and a column
    // at the right panel's right edge (and the rest of the width, for a wide frame).
    const int rightEdge = L.rightPanel.left() + L.rightPanel.width();
    L.backgroundGaps = {
        L.splitRect,
        QRect(0, top + height, cw, 3),
        QRect(0, T, cw, 3),
        QRect(0, top, 1, height),
        QRect(rightEdge - 1, top, std::max(4, cw - rightEdge + 1), height),
    };
    return L;
}

int promptRoom(int wanted, int stripWidth) {
    // The command line ends 2 px before the strip's end and keeps at least a third of it.
    const int most = std::max(0, stripWidth - 2 - (stripWidth + 2) / 3);
    return std::clamp(wanted, 0, most);
}

QRect placeOnScreens(const QRect& window, const std::vector<QRect>& screens, const QRect& primary) {
    for (const QRect& s : screens)
        if (s.intersects(window)) return window;
    if (primary.isEmpty()) return window;
    const QSize size = window.size().boundedTo(primary.size());
    const int x = std::clamp(window.x(), primary.left(), primary.left() + primary.width() - size.width());
    const int y = std::clamp(window.y(), primary.top(), primary.top() + primary.height() - size.height());
    return QRect(QPoint(x, y), size);
}

}  // namespace kv
