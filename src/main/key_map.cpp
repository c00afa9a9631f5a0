// How a key press travels: menu shortcut, then the window's key map, then the command line.
#include "main/key_map.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>

#include <algorithm>

#include "main/main_form.h"
#include "main/main_menu.h"

namespace kv {

namespace {

constexpr Qt::KeyboardModifiers kShiftState = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;
constexpr Qt::KeyboardModifiers kCtrl = Qt::ControlModifier, kAlt = Qt::AltModifier,
                                kShift = Qt::ShiftModifier;
constexpr ModSet kPlainEnter = allBut(kAlt) & allBut(kCtrl) & allBut(kShift);
constexpr ModSet kNotCtrl = allBut(kCtrl);

bool isEnter(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

}  // namespace

const std::vector<KeyRow>& mainKeyMap() {
    using C = KeyCondition;
    using P = Keypad;
    static const std::vector<KeyRow> rows = {
        {Qt::Key_Return, kPlainEnter, P::Either, C::CommandLineEmpty, "panel.enter", false},
        {Qt::Key_Return, kPlainEnter, P::Either, C::CommandLineHasText, "cmdline.run", false},
        {Qt::Key_Up, kAnyMods, P::Either, C::Always, "panel.cursorUp", false},
        {Qt::Key_Down, kAnyMods, P::Either, C::Always, "panel.cursorDown", false},
        {Qt::Key_Right, kNotCtrl, P::Either, C::Always, "panel.pageRight", false},
        {Qt::Key_PageDown, kNotCtrl, P::Either, C::Always, "panel.pageRight", false},
        {Qt::Key_Left, kNotCtrl, P::Either, C::Always, "panel.pageLeft", false},
        {Qt::Key_PageUp, kNotCtrl, P::Either, C::Always, "panel.pageLeft", false},
        {Qt::Key_Home, kAnyMods, P::Either, C::Always, "panel.home", false},
        {Qt::Key_End, kAnyMods, P::Either, C::Always, "panel.end", false},
        {Qt::Key_F1, only(kAlt), P::Either, C::Always, "drive.targetLeft", false},
        {Qt::Key_F2, only(kAlt), P::Either, C::Always, "drive.targetRight", false},
        {Qt::Key_F6, only(kAlt), P::Either, C::Always, "file.renameInPlace", false},
        {Qt::Key_F3, only(kShift), P::Either, C::Always, "file.viewAlways", true},
        {Qt::Key_Return, only(kCtrl), P::Either, C::Always, "cmdline.appendCurrent", false},
        {Qt::Key_Return, only(kShift), P::Either, C::Always, "file.quickExtract", false},
        {Qt::Key_Backspace, kNotCtrl, P::Either, C::CommandLineEmpty, "panel.parent", true},
        {Qt::Key_Backspace, only(kCtrl), P::Either, C::Always, "cmdline.deleteWord", false},
        {Qt::Key_PageUp, only(kCtrl), P::Either, C::Always, "panel.parent", false},
        {Qt::Key_Asterisk, kAnyMods, P::Only, C::Always, "panel.invertSelection", false},
        {Qt::Key_Plus, kAnyMods, P::Only, C::Always, "panel.selectGroup", false},
        {Qt::Key_Minus, kAnyMods, P::Only, C::Always, "panel.unselectGroup", false},
        {Qt::Key_I, only(kCtrl), P::Either, C::Always, "panels.toggleIndent", false},
        {Qt::Key_0, only(kCtrl), P::Never, C::Always, "panel.growScrollBar", false},
        {Qt::Key_H, only(kCtrl), P::Either, C::Always, "panel.toggleHidden", false},
        {Qt::Key_J, only(kCtrl), P::Either, C::Always, "jobs.show", false},
        {Qt::Key_Insert, allBut(kCtrl) & allBut(kAlt), P::Either, C::Always, "panel.toggleSelect", false},
        {Qt::Key_L, only(kCtrl), P::Either, C::ActivePanelNotInformation, "panel.otherInformation", true},
        {Qt::Key_F11, kAnyMods, P::Either, C::VolumeControl, "volume.down", false},
        {Qt::Key_F12, kAnyMods, P::Either, C::VolumeControl, "volume.up", false},
        {Qt::Key_Escape, kAnyMods, P::Either, C::FastFindShown, "fastfind.close", true},
        {Qt::Key_Escape, kAnyMods, P::Either, C::CommandLineHasText, "cmdline.clear", false},
        {Qt::Key_E, only(kCtrl), P::Either, C::HistoryNotEmpty, "history.back", false},
        {Qt::Key_Z, only(kCtrl), P::Either, C::Always, "panel.diagnostics", false},
        {Qt::Key_Menu, kAnyMods, P::Either, C::Always, "tray.popup", false},
    };
    return rows;
}

namespace {

bool rowIsFor(const KeyRow& r, int rawKey, Qt::KeyboardModifiers mods) {
    const int key = rawKey == Qt::Key_Enter ? Qt::Key_Return : rawKey;
    const bool keypad = mods.testFlag(Qt::KeypadModifier);
    if (r.key != key || !(r.mods & only(mods & kShiftState))) return false;
    return !((r.keypad == Keypad::Only && !keypad) || (r.keypad == Keypad::Never && keypad));
}

}  // namespace

bool runKeyMap(const std::vector<KeyRow>& rows, int key, Qt::KeyboardModifiers mods,
               const std::function<bool(KeyCondition)>& holds,
               const std::function<void(std::string_view)>& run) {
    bool matched = false;
    for (const KeyRow& r : rows) {
        if (!rowIsFor(r, key, mods)) continue;
        // Asked only now: an earlier row's command may have changed what holds.
        if (r.when != KeyCondition::Always && !holds(r.when)) continue;
        matched = true;
        run(r.command);
        if (r.stops) break;
    }
    return matched;
}

bool keyMapHasRow(const std::vector<KeyRow>& rows, int key, Qt::KeyboardModifiers mods) {
    return std::any_of(rows.begin(), rows.end(), [&](const KeyRow& r) { return rowIsFor(r, key, mods); });
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress && PanelSearch && PanelSearch->isVisible()) {
        // A click anywhere in the window but on the box ends the quick search.
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && w->window() == this && w != PanelSearch && !PanelSearch->isAncestorOf(w))
            runCommand("fastfind.close");
        return false;
    }
    if (event->type() != QEvent::KeyPress || forwarding_) return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || w->window() != this || QApplication::activePopupWidget()) return false;
    // The menu bar in keyboard mode (after a lone Alt) steers with its own keys.
    if (qobject_cast<QMenuBar*>(w)) return false;
    auto* ke = static_cast<QKeyEvent*>(event);
    if (dispatchKey(ke->key(), ke->modifiers(), ke->text())) return true;
    // The key reaches the command line (or the quick-search box), as a copy so the original
    // is not offered to the window a second time on its way up.
    QLineEdit* target = PanelSearch->isVisible() ? Edit1 : ComLine;
    QKeyEvent copy(ke->type(), ke->key(), ke->modifiers(), ke->text(), ke->isAutoRepeat(), ke->count());
    forwarding_ = true;
    QCoreApplication::sendEvent(target, &copy);
    forwarding_ = false;
    return true;
}

bool TForm1::dispatchKey(int key, Qt::KeyboardModifiers mods, const QString& text) {
    const Qt::KeyboardModifiers shift = mods & kShiftState;
    // The quick-search box takes its own keys; any other key closes it and goes on.
    if (PanelSearch->isVisible() && QuickSearchKey(key, mods, text)) return true;
    // Keypad keys are other keys than their main-block twins (keypad 1 is not "1"), so
    // they never match a menu shortcut; keypad Enter is Enter.
    const bool keypad = mods.testFlag(Qt::KeypadModifier) && !isEnter(key);
    if (!keypad && mainMenu_->matchShortcut(key, shift)) return true;
    // Alt with a character that neither the menu nor the key map owns starts a quick search.
    if (const QChar c = quickSearchAltChar(key, mods, text); !c.isNull()) {
        OpenQuickSearch(QString(c));
        return true;
    }
    // Esc while a big folder is still being read stops the read, before anything else.
    if (key == Qt::Key_Escape && shift == Qt::NoModifier && activePanel() && activePanel()->CancelRead())
        return true;
    if (FormKeyDown(key, mods)) return true;
    if (quickSearchOnTyping(mods, text)) {
        OpenQuickSearch(text);
        return true;
    }
    return false;
}

bool TForm1::FormKeyDown(int key, Qt::KeyboardModifiers mods) {
    const Qt::KeyboardModifiers shift = mods & kShiftState;
    const bool star = mods.testFlag(Qt::KeypadModifier) && key == Qt::Key_Asterisk;
    // Only ordinary typing may edit the command line: a Ctrl or Alt key that is no command
    // still reaches it (to copy or select), but read-only.
    ComLine->setReadOnly(isEnter(key) || key == Qt::Key_Escape || star || shift == Qt::AltModifier ||
                         shift == Qt::ControlModifier);
    auto holds = [this](KeyCondition c) {
        switch (c) {
            case KeyCondition::Always: return true;
            case KeyCondition::CommandLineEmpty: return ComLine->text().isEmpty();
            case KeyCondition::CommandLineHasText: return !ComLine->text().isEmpty();
            case KeyCondition::HistoryNotEmpty: return !History.empty();
            case KeyCondition::ActivePanelNotInformation: return activePanel()->Style != 2;
            case KeyCondition::VolumeControl:
                return static_cast<bool>(ReadVolume) && static_cast<bool>(WriteVolume);
            case KeyCondition::FastFindShown: return PanelSearch->isVisible();
        }
        return false;
    };
    return runKeyMap(mainKeyMap(), key, mods, holds, [this](std::string_view id) { runCommand(id); });
}

}  // namespace kv
