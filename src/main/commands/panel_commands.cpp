// The panels' commands: cursor and paging, folders, selection, styles, the active panel.
#include <QAction>
#include <QLineEdit>

#include "main/commands/command_table.h"
#include "main/commands/registrars.h"
#include "main/main_form.h"

namespace kv {

namespace {

TFPanel& active(TForm1& f) { return *f.activePanel(); }

// Brief or extended view of the active panel; nothing when its item is marked already.
void setStyle(TForm1& f, const char* mark, const char* unmark, int style, int columns) {
    f.setQuickView(false);  // a style key brings the covered panel back, too
    TMainMenu& menu = f.mainMenu();
    if (menu.isMarked(mark)) return;
    menu.setMark(mark, true);
    menu.setMark(unmark, false);
    TFPanel* p = f.activePanel();
    p->Bar_Pos = 0;
    p->CurCol = 1;
    p->CurRow = 1;
    p->Style = style;
    p->Columns = columns;
    p->DrawList();  // new grid first, so the cursor lands in it
    p->LocateCursor();
    p->DrawCursor();
}

void makeActive(TForm1& f, const std::string& side) {
    TMainMenu& menu = f.mainMenu();
    const char* mark = side == "Left" ? "P1" : "P2";
    if (menu.isMarked(mark)) return;
    menu.setMark(mark, true);
    menu.setMark(side == "Left" ? "P2" : "P1", false);
    f.SetActive(side, f.panelOf(side), "Show");
}

// The Panel menu's marks as the active panel is now.
void refreshMarks(TForm1& f) {
    TMainMenu& menu = f.mainMenu();
    for (const char* n : {"P3", "P4", "P5"}) menu.setMark(n, false);
    menu.setMark("P7", f.quickViewOn());
    const bool left = f.cfg().Main.Active == "Left";
    menu.setMark("P1", left);
    menu.setMark("P2", !left);
    switch (f.activePanel()->Style) {
        case 1: menu.setMark("P3", true); break;
        case 2: menu.setMark("P4", true); break;
        case 3: menu.setMark("P5", true); break;
        default: break;
    }
}

}  // namespace

void registerPanelCommands(CommandTable& t) {
    t.add("panel.enter", [](TForm1& f) {
        TFPanel& p = active(f);
        p.HideCursor();
        p.EnterItem();
        p.LocateCursor();
        p.DrawCursor();
    });
    t.add("panel.cursorUp", [](TForm1& f) { active(f).CursorUp(); });
    t.add("panel.cursorDown", [](TForm1& f) { active(f).CursorDown(); });
    t.add("panel.pageRight", [](TForm1& f) { active(f).PageRight(); });
    t.add("panel.pageLeft", [](TForm1& f) { active(f).PageLeft(); });
    t.add("panel.home", [](TForm1& f) { active(f).CursorHome(); });
    t.add("panel.end", [](TForm1& f) { active(f).CursorEnd(); });
    t.add("panel.parent", [](TForm1& f) { active(f).GoParent(); });
    t.add("panel.toggleSelect", [](TForm1& f) { active(f).ToggleSelect(); });
    t.add("panel.invertSelection", [](TForm1& f) { active(f).InvertSelection(); });
    t.add("panel.toggleHidden", [](TForm1& f) { active(f).ToggleHidden(); });
    t.add("panel.diagnostics", [](TForm1& f) { f.passivePanel()->ShowDiagnostics(); });
    t.add("panels.toggleIndent", [](TForm1& f) {
        for (TFPanel* p : {f.LeftPanel, f.RightPanel}) p->FolderIndent = !p->FolderIndent;
        f.FormResize();
        f.LeftPanel->update();
        f.RightPanel->update();
    });
    t.add("panel.growScrollBar", [](TForm1& f) {
        TFPanel& p = active(f);
        if (p.ScrollHeight < 60) ++p.ScrollHeight;
        f.FormResize();
        p.update();
    });
    // The other panel shows information about the active one, or goes back to brief.
    t.add("panel.otherInformation", [](TForm1& f) {
        f.setQuickView(false);
        TFPanel* other = f.passivePanel();
        other->Style = other->Style == 2 ? 1 : 2;
        other->DrawList();
        other->LocateCursor();
    });

    t.add("panel.switch", [](TForm1& f) {
        const std::string other = f.cfg().Main.Active != "Left" ? "Left" : "Right";
        f.SetActive(other, f.panelOf(other), "Show");
        f.ChangeFolderEv(other);
    });
    t.add("panel.activeLeft", [](TForm1& f) { makeActive(f, "Left"); });
    t.add("panel.activeRight", [](TForm1& f) { makeActive(f, "Right"); });
    t.add("panel.refreshMarks", refreshMarks);
    t.add("panel.styleFiles", [](TForm1& f) { setStyle(f, "P3", "P5", 1, 3); });
    t.add("panel.styleExtended", [](TForm1& f) { setStyle(f, "P5", "P3", 3, 1); });
    // One information view at a time: it describes the other panel.
    t.add("panel.styleInformation", [](TForm1& f) {
        f.setQuickView(false);
        if (f.LeftPanel->Style == 2 || f.RightPanel->Style == 2) return;
        TFPanel& p = active(f);
        p.Style = 2;
        p.DrawList();
    });
    // The other panel becomes a preview of the cursor's entry; pressed again, a panel again.
    t.add("panel.quickView", [](TForm1& f) { f.setQuickView(!f.quickViewOn()); });

    t.add("fastfind.close", [](TForm1& f) {
        f.PanelSearch->hide();
        f.ComLine->setFocus();
    });
}

}  // namespace kv
