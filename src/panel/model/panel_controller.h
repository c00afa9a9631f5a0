#pragma once
// Cursor, paging, selection and mouse logic of one panel, without painting. Every
// action says what must be repainted; the TFPanel widget turns that into update()
// calls and keeps its two auto-scroll timers in step with wantScrollDown/Up.
#include <cstdint>

#include "panel/model/panel_model.h"

namespace kv {

enum class Repaint : std::uint8_t {
    None,    // nothing changed on screen
    Cursor,  // the old and the new cursor cell, the status strip and the indicator
    List,    // the whole panel
};

inline Repaint operator|(Repaint a, Repaint b) { return a > b ? a : b; }

enum class MouseButton : std::uint8_t { Left, Right, Middle };

class TPanelController {
public:
    explicit TPanelController(TFPanelModel& m) : m_(m) {}

    // Keyboard actions.
    Repaint CursorUp();
    Repaint CursorDown();
    Repaint PageRight();
    Repaint PageLeft();
    Repaint CursorHome();
    Repaint CursorEnd();
    Repaint EnterItem();
    Repaint GoParent();
    Repaint ToggleSelect();
    Repaint InvertSelection();
    Repaint ToggleHidden();
    // Re-read after a change on disk or a file operation; keeps the cursor index.
    Repaint Refresh();

    // Mouse, in panel coordinates; the layout metrics of the model must be current.
    Repaint mousePress(MouseButton b, int x, int y);
    Repaint mouseMove(int x, int y);
    Repaint mouseRelease();
    Repaint doubleClick();
    // One tick of the downward / upward auto-scroll timer.
    Repaint scrollDownTick();
    Repaint scrollUpTick();
    // How many cursor steps one tick makes (1 on this system; the old Win95 path used 4).
    int StepsPerTick = 1;

    bool wantScrollDown() const { return scrollDown_; }
    bool wantScrollUp() const { return scrollUp_; }
    // Set by SetActive in the main window: the next press redraws the cursor.
    void setForce() { force_ = true; }

    // The cursor was (re)drawn: publish the entry, apply a running paint selection,
    // fire OnChangePos. Runs after every action that ends with the cursor shown.
    void cursorShown();
    // The cell index (0-based from PosList) under a panel point in the list area.
    int cellAt(int x, int y) const;

    // Index (1-based) of the cursor entry before the last action, for repainting
    // the cell it left.
    int previousIndex() const { return previous_; }

private:
    Repaint moveBarTo(int barPos);
    Repaint finish(Repaint r);
    Repaint clickToCursor();

    TFPanelModel& m_;
    int dragMode_ = 0;   // 0 none, 1 left button held, 2 right button held
    int paintMode_ = 0;  // 0 undecided, 1 unselecting, 2 selecting
    int offX_ = 0, offY_ = 0;
    bool force_ = false;
    bool skipMove_ = false;    // the move that follows a double click
    bool dblHandled_ = false;  // the press after a double click only redraws
    bool scrollDown_ = false, scrollUp_ = false;
    bool dragging_ = false;  // inside mouseMove
    int previous_ = 1;
};

}  // namespace kv
