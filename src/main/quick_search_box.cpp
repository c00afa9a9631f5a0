// Quick search: the "  Search" box over the active panel. Alt with a free character (or,
// with Global/QuickSearchOnTyping, plain typing into an empty command line) opens it; each
// character moves the panel's cursor to the first entry starting with the text, and a
// character no entry would match is refused.
#include <QLineEdit>

#include <algorithm>

#include "main/key_map.h"
#include "main/main_form.h"
#include "main/main_menu.h"
#include "panel/fpanel.h"
#include "panel/model/quick_search.h"

namespace kv {

namespace {

constexpr Qt::KeyboardModifiers kShiftState = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;

// One printable character (a letter, digit, sign; a blank only with `blank`).
bool isOneCharacter(const QString& text, bool blank = false) {
    if (text.isEmpty() || text.size() > 2) return false;
    const QList<uint> ucs = text.toUcs4();
    return ucs.size() == 1 && QChar::isPrint(ucs[0]) && (blank || !QChar::isSpace(ucs[0]));
}

int firstMatch(const TFPanel& p, const QString& text) {
    return FindQuickMatch(p.FL, TQuickSearchText(text.toStdString()), 1, +1);
}

void placeCursorAt(TFPanel& p, int index) {
    p.HideCursor();
    p.putCursorOn(index);
    p.DrawCursor();
}

}  // namespace

bool TForm1::FastFind(const QString& text) {
    TFPanel* p = activePanel();
    if (text.isEmpty() || !p) return false;
    const int i = firstMatch(*p, text);
    if (i == 0) return false;
    if (i != p->cursorIndex()) placeCursorAt(*p, i);
    return true;
}

void TForm1::placeQuickSearch() {
    const TFPanel* p = activePanel();
    if (!p || !PanelSearch) return;
    const QRect r = p->geometry();
    const int height = std::max(26, Edit1->sizeHint().height() + 4);
    const int width = std::clamp(r.width() - 16, 120, 260);
    // Over the last rows of the list, above the scroll bar and the status strip.
    const int bottom =
        r.top() + std::max(p->HeaderHeight + height, r.height() - p->InfoHeight - p->ScrollHeight - 2);
    PanelSearch->setGeometry(r.left() + 8, bottom - height, width, height);
}

void TForm1::OpenQuickSearch(const QString& typed) {
    TFPanel* p = activePanel();
    if (!p || p->Style == 2) return;  // the information view has no entries to find
    // A first character no entry starts with opens nothing, as it would be refused.
    if (!typed.isEmpty() && firstMatch(*p, typed) == 0) return;
    placeQuickSearch();
    Edit1->clear();
    PanelSearch->show();
    PanelSearch->raise();
    Edit1->setFocus();
    if (!typed.isEmpty()) QuickSearchType(typed);
}

bool TForm1::QuickSearchType(const QString& more) {
    const QString text = Edit1->text() + more;
    TFPanel* p = activePanel();
    if (!p || firstMatch(*p, text) == 0) return false;
    Edit1->setText(text);  // the box's text change moves the cursor (FastFind)
    return true;
}

void TForm1::QuickSearchStep(int step) {
    TFPanel* p = activePanel();
    if (!p || Edit1->text().isEmpty()) return;
    const int i =
        FindQuickMatch(p->FL, TQuickSearchText(Edit1->text().toStdString()), p->cursorIndex() + step, step);
    if (i != 0 && i != p->cursorIndex()) placeCursorAt(*p, i);
}

bool TForm1::QuickSearchKey(int key, Qt::KeyboardModifiers mods, const QString& text) {
    const Qt::KeyboardModifiers shift = mods & kShiftState;
    const bool plain = shift == Qt::NoModifier || shift == Qt::ShiftModifier;
    if (plain && key == Qt::Key_Escape) {
        runCommand("fastfind.close");
        return true;
    }
    if (shift == Qt::NoModifier && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
        // Enter acts on the entry found as Enter in the panel does.
        runCommand("fastfind.close");
        runCommand("panel.enter");
        return true;
    }
    if (plain && (key == Qt::Key_Up || key == Qt::Key_Down)) {
        QuickSearchStep(key == Qt::Key_Down ? +1 : -1);
        return true;
    }
    if (plain && key == Qt::Key_Backspace) {
        QString t = Edit1->text();
        if (!t.isEmpty()) t.chop(t.size() >= 2 && t.back().isLowSurrogate() ? 2 : 1);
        Edit1->setText(t);
        return true;
    }
    // A blank only after the first character: names may hold blanks, hardly start with one.
    if (plain && isOneCharacter(text, !Edit1->text().isEmpty()) && !keyMapHasRow(mainKeyMap(), key, mods)) {
        QuickSearchType(text);
        return true;
    }
    if (const QChar c = quickSearchAltChar(key, mods, text); !c.isNull()) {
        QuickSearchType(QString(c));
        return true;
    }
    runCommand("fastfind.close");
    return false;
}

QChar TForm1::quickSearchAltChar(int key, Qt::KeyboardModifiers mods, const QString& text) const {
    const Qt::KeyboardModifiers shift = mods & kShiftState;
    if (shift != Qt::AltModifier && shift != (Qt::AltModifier | Qt::ShiftModifier)) return {};
    if (mods.testFlag(Qt::KeypadModifier)) return {};
    QChar c;
    if (text.size() == 1 && isOneCharacter(text)) {
        c = text.front();
    } else if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        c = QChar(shift.testFlag(Qt::ShiftModifier) ? key : key - Qt::Key_A + 'a');
    } else if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        c = QChar(key);
    } else {
        return {};
    }
    if (mainMenu_->ownsShortcut(key, shift) || keyMapHasRow(mainKeyMap(), key, mods) ||
        mainMenu_->ownsMnemonic(c))
        return {};
    return c;
}

bool TForm1::quickSearchOnTyping(Qt::KeyboardModifiers mods, const QString& text) const {
    const Qt::KeyboardModifiers shift = mods & kShiftState;
    if (!cfg_.Main.QuickSearchOnTyping || mods.testFlag(Qt::KeypadModifier)) return false;
    if ((shift != Qt::NoModifier && shift != Qt::ShiftModifier) || !ComLine->text().isEmpty()) return false;
    // A first character no entry starts with goes on to the command line, so commands can
    // still be typed.
    const TFPanel* p = activePanel();
    return isOneCharacter(text) && p && p->Style != 2 && firstMatch(*p, text) != 0;
}

}  // namespace kv
