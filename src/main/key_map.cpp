// How a key press travels: menu shortcut, then the window's key map, then the command line.
#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>

#include "main/main_form.h"
#include "platform/launcher.h"

namespace kv {

namespace {

constexpr Qt::KeyboardModifiers kShiftState = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;

bool isEnter(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

// A name as a shell word: quoted when it holds anything a shell would act on.
std::string shellWord(const std::string& name) {
    bool plain = !name.empty();
    for (unsigned char c : name)
        if (!(std::isalnum(c) || c == '.' || c == '_' || c == '-' || c == '/' || c == '+' || c == ',' || c >= 0x80))
            plain = false;
    if (plain) return name;
    std::string out = "'";
    for (char c : name) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || forwarding_) return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || w->window() != this || QApplication::activePopupWidget()) return false;
    // The menu bar in keyboard mode (after a lone Alt) steers with its own keys.
    if (qobject_cast<QMenuBar*>(w)) return false;
    auto* ke = static_cast<QKeyEvent*>(event);
    if (dispatchKey(ke->key(), ke->modifiers(), ke->text())) return true;
    // The key reaches the command line (or the fast-find box), as a copy so the original
    // is not offered to the window a second time on its way up.
    QLineEdit* target = PanelSearch->isVisible() ? Edit1 : ComLine;
    QKeyEvent copy(ke->type(), ke->key(), ke->modifiers(), ke->text(), ke->isAutoRepeat(), ke->count());
    forwarding_ = true;
    QCoreApplication::sendEvent(target, &copy);
    forwarding_ = false;
    return true;
}

bool TForm1::dispatchKey(int key, Qt::KeyboardModifiers mods, const QString& /*text*/) {
    const Qt::KeyboardModifiers shift = mods & kShiftState;
    // Keypad keys are other keys than their main-block twins (keypad 1 is not "1"), so
    // they never match a menu shortcut; keypad Enter is Enter.
    const bool keypad = mods.testFlag(Qt::KeypadModifier) && !isEnter(key);
    if (!keypad && matchShortcut(key, shift)) return true;

    if (PanelSearch->isVisible() && shift != Qt::AltModifier && shift != Qt::ControlModifier) {
        if (key == Qt::Key_Escape) {
            PanelSearch->hide();
            ComLine->setFocus();
            return true;
        }
        return false;  // to the fast-find box
    }
    return FormKeyDown(key, mods);
}

bool TForm1::FormKeyDown(int rawKey, Qt::KeyboardModifiers mods) {
    const Qt::KeyboardModifiers shift = mods & kShiftState;
    const bool keypad = mods.testFlag(Qt::KeypadModifier);
    const int key = rawKey == Qt::Key_Enter ? Qt::Key_Return : rawKey;
    const bool none = shift == Qt::NoModifier;
    const bool ctrl = shift == Qt::ControlModifier;
    const bool alt = shift == Qt::AltModifier;
    const bool shiftOnly = shift == Qt::ShiftModifier;
    const bool star = keypad && key == Qt::Key_Asterisk;
    const bool plus = keypad && key == Qt::Key_Plus;
    (void)none;

    // Only ordinary typing reaches the command line.
    ComLine->setReadOnly(key == Qt::Key_Return || key == Qt::Key_Escape || star || alt || ctrl);

    TFPanel* panel = activePanel();
    // 1
    if (key == Qt::Key_Return && !alt && !ctrl && !shiftOnly) {
        if (ComLine->text().isEmpty()) {
            panel->HideCursor();
            panel->EnterItem();
            panel->LocateCursor();
            panel->DrawCursor();
        } else {
            runCommandLine();
        }
    }
    // 2..7
    if (key == Qt::Key_Up) panel->CursorUp();
    if (key == Qt::Key_Down) panel->CursorDown();
    if ((key == Qt::Key_Right || key == Qt::Key_PageDown) && !ctrl) panel->PageRight();
    if ((key == Qt::Key_Left || key == Qt::Key_PageUp) && !ctrl) panel->PageLeft();
    if (key == Qt::Key_Home) panel->CursorHome();
    if (key == Qt::Key_End) panel->CursorEnd();
    // 8, 9: the drive chooser (not built yet) learns its target.
    if (key == Qt::Key_F1 && alt) cfg_.FilesPanel.DriveTarget = "Left";
    if (key == Qt::Key_F2 && alt) cfg_.FilesPanel.DriveTarget = "Right";
    // 10
    if (key == Qt::Key_Return && ctrl) appendCurrentToCommandLine();
    // 11
    if (key == Qt::Key_Backspace && !ctrl && ComLine->text().isEmpty()) {
        panel->GoParent();
        return true;
    }
    // 12
    if (key == Qt::Key_Backspace && ctrl) deleteLastWord();
    // 13
    if (key == Qt::Key_E && ctrl && !history_.empty()) ComLine->setText(QString::fromStdString(history_.back()));
    // 14
    if (key == Qt::Key_PageUp && ctrl) panel->GoParent();
    // 15
    if (star) panel->InvertSelection();
    // 16: the select-group dialog is not built yet.
    (void)plus;
    // 17
    if (key == Qt::Key_I && ctrl) {
        for (TFPanel* p : {LeftPanel, RightPanel}) p->FolderIndent = !p->FolderIndent;
        FormResize();
        LeftPanel->update();
        RightPanel->update();
    }
    // 18
    if (key == Qt::Key_0 && ctrl && !keypad) {
        if (panel->ScrollHeight < 60) ++panel->ScrollHeight;
        FormResize();
        panel->update();
    }
    // 19
    if (key == Qt::Key_H && ctrl) panel->ToggleHidden();
    // 20
    if (key == Qt::Key_Insert && !ctrl && !alt) panel->ToggleSelect();
    // 21
    if (key == Qt::Key_L && ctrl && panel->Style != 2) {
        TFPanel* other = passivePanel();
        other->Style = other->Style == 2 ? 1 : 2;
        other->DrawList();
        other->LocateCursor();
        return true;
    }
    // 22
    if ((key == Qt::Key_F11 || key == Qt::Key_F12) && ReadVolume && WriteVolume) {
        if (auto wave = ReadVolume(1); wave && *wave > 2 && *wave < 254) {
            WriteVolume(1, key == Qt::Key_F12 ? *wave + 2 : *wave - 2);
            TimerMainTimer();
        }
    }
    // 23
    if (key == Qt::Key_Escape && PanelSearch->isVisible()) {
        PanelSearch->hide();
        ComLine->setFocus();
        return true;
    }
    // 24
    if (key == Qt::Key_E && ctrl && !history_.empty()) historyBack();
    // 25: quick extraction is not built yet.
    // 26: the rename dialog is not built yet.
    // 27
    if (key == Qt::Key_Z && ctrl) passivePanel()->ShowDiagnostics();
    // 28
    if (key == Qt::Key_Menu) PopupMenu1->popup(QCursor::pos());
    return false;
}

void TForm1::runCommandLine() {
    const std::string text = ComLine->text().toStdString();
    AddFileToHistory(text);
    // The shell runs it, detached, in the active panel's folder.
    auto r = platform::runDetached({"/bin/sh", "-c", text}, activePanel()->CurDir);
    if (!r.ok) Label2->setText(QString::fromStdString(r.message));
    ComLine->clear();
}

void TForm1::appendCurrentToCommandLine() {
    TFPanel* p = activePanel();
    p->publishCurrent();
    if (p->CurFile.empty()) return;
    QString line = ComLine->text();
    if (!line.isEmpty()) line += QLatin1Char(' ');
    line += QString::fromStdString(shellWord(p->CurFile));
    ComLine->setText(line);
    ComLine->end(false);
}

void TForm1::deleteLastWord() {
    QString line = ComLine->text();
    while (!line.isEmpty()) {
        const QChar last = line.back();
        if (last == QLatin1Char(' ') || last == QLatin1Char('.')) {
            if (line.size() != 3) line.chop(1);
            break;
        }
        line.chop(1);
    }
    ComLine->setText(line);
}

void TForm1::historyBack() {
    if (historyBrowsing_ && historyIndex_ > 0) --historyIndex_;
    if (historyIndex_ < 0 || historyIndex_ >= static_cast<int>(history_.size()))
        historyIndex_ = static_cast<int>(history_.size()) - 1;
    ComLine->setText(QString::fromStdString(history_[static_cast<size_t>(historyIndex_)]));
    historyBrowsing_ = true;
}

void TForm1::FastFind(const QString& text) {
    if (text.isEmpty()) return;
    TFPanel* p = activePanel();
    for (int i = 1; i <= p->FL.FilesCount(); ++i) {
        const QString name = QString::fromStdString(p->FL.displayName(i));
        if (name.startsWith(text, Qt::CaseInsensitive)) {
            p->HideCursor();
            const int page = p->pageSize();
            if (i - 1 < p->PosList || i - 1 >= p->PosList + page) p->PosList = std::max(0, i - 1);
            p->Bar_Pos = i - 1 - p->PosList;
            p->LocateCursor();
            p->DrawList();
            p->DrawCursor();
            return;
        }
    }
}

}  // namespace kv
