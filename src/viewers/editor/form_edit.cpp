#include "viewers/editor/form_edit.h"

#include <QAction>
#include <QCloseEvent>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "platform/display_text.h"
#include "viewers/editor/find_dialogs.h"
#include "viewers/editor/text_search.h"

namespace kv {

namespace {

std::u16string_view unitsOf(const QString& s) {
    return {reinterpret_cast<const char16_t*>(s.utf16()), static_cast<std::size_t>(s.size())};
}

QString fromUnits(const std::u16string& s) {
    return QString(reinterpret_cast<const QChar*>(s.data()), static_cast<qsizetype>(s.size()));
}

// The panel's font at the editor's size of 10 points.
QFont withEditorSize(QFont f) {
    f.setPointSize(10);
    return f;
}

// The name as the title shows it: controls and direction overrides made visible.
QString fileNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return QString::fromStdString(platform::visibleControls(slash == std::string::npos ? path : path.substr(slash + 1)));
}

}  // namespace

TFormEdit* TFormEdit::Open(QWidget* mainWindow, const std::string& path, AppearanceSource appearance,
                           QString* error, bool* notText) {
    editor::ReadResult r = editor::readTextFile(path);
    if (notText) *notText = r.notText;
    if (!r.ok) {
        if (error) *error = QString::fromStdString(r.error);
        return nullptr;
    }
    auto* e = new TFormEdit(mainWindow, path, std::move(r.text), std::move(appearance));
    if (mainWindow) e->setGeometry(mainWindow->geometry());
    e->show();
    e->raise();
    e->activateWindow();
    return e;
}

TFormEdit::TFormEdit(QWidget* owner, const std::string& path, editor::DecodedText text,
                     AppearanceSource appearance)
    : QMainWindow(owner, Qt::Window), path_(path), format_(text.format), appearance_(std::move(appearance)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Editor - ") + fileNameOf(path_));
    Memo1 = new QPlainTextEdit(this);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The look before the first activation: white on dark blue. Font and colours are set
    // before the text goes in: a font change re-lays out every line of a big file.
    QPalette pal = Memo1->palette();
    pal.setColor(QPalette::Base, QColor(0, 0, 160));
    pal.setColor(QPalette::Text, Qt::white);
    Memo1->setPalette(pal);
    Memo1->setFont(appearance_ ? withEditorSize(appearance_().font)
                               : QFont(QStringLiteral("DejaVu Sans"), 10));
    Memo1->setUndoRedoEnabled(false);
    Memo1->setPlainText(QString::fromUtf8(text.utf8.data(), static_cast<qsizetype>(text.utf8.size())));
    Memo1->setUndoRedoEnabled(true);
    Memo1->document()->setModified(false);
    Memo1->installEventFilter(this);
    setCentralWidget(Memo1);

    find_ = new TFindDialog(this, false);
    replace_ = new TFindDialog(this, true);
    connect(find_, &TFindDialog::findNextClicked, this, [this] { Find(find_); });
    connect(replace_, &TFindDialog::findNextClicked, this, [this] { Find(replace_); });
    connect(replace_, &TFindDialog::replaceClicked, this, &TFormEdit::Replace);
    buildMenus();
}

TFormEdit::~TFormEdit() = default;

void TFormEdit::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&New"))->setEnabled(false);
    file->addAction(QStringLiteral("&Open ..."))->setEnabled(false);
    connect(file->addAction(QStringLiteral("&Save")), &QAction::triggered, this, [this] { Save(); });
    connect(file->addAction(QStringLiteral("Save &As ...")), &QAction::triggered, this,
            &TFormEdit::SaveAsAsk);
    file->addSeparator();
    connect(file->addAction(QStringLiteral("P&rinter setup...")), &QAction::triggered, this, [this] {
        if (!printer_) printer_ = std::make_unique<QPrinter>();
        QPageSetupDialog(printer_.get(), this).exec();
    });
    connect(file->addAction(QStringLiteral("&Print...")), &QAction::triggered, this, [this] {
        if (!printer_) printer_ = std::make_unique<QPrinter>();
        QPrintDialog dialog(printer_.get(), this);
        if (dialog.exec() == QDialog::Accepted) Memo1->document()->print(printer_.get());
    });
    file->addSeparator();
    connect(file->addAction(QStringLiteral("E&xit")), &QAction::triggered, this, &QWidget::close);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    QAction* cut = edit->addAction(QStringLiteral("Cu&t"), QKeySequence(Qt::CTRL | Qt::Key_X));
    QAction* copy = edit->addAction(QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C));
    QAction* paste = edit->addAction(QStringLiteral("&Paste"), QKeySequence(Qt::CTRL | Qt::Key_V));
    // The text area answers these keys itself; the menu shows them and works from the mouse.
    for (QAction* a : {cut, copy, paste}) a->setShortcutContext(Qt::WidgetShortcut);
    connect(cut, &QAction::triggered, Memo1, &QPlainTextEdit::cut);
    connect(copy, &QAction::triggered, Memo1, &QPlainTextEdit::copy);
    connect(paste, &QAction::triggered, Memo1, &QPlainTextEdit::paste);
    edit->addSeparator();
    connect(edit->addAction(QStringLiteral("&Find...")), &QAction::triggered, this, &TFormEdit::ShowFind);
    connect(edit->addAction(QStringLiteral("Find &Next"), QKeySequence(Qt::Key_F3)), &QAction::triggered,
            this, &TFormEdit::FindNext);
    connect(edit->addAction(QStringLiteral("R&eplace...")), &QAction::triggered, this,
            &TFormEdit::ShowReplace);

    QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
    connect(options->addAction(QStringLiteral("&Font...")), &QAction::triggered, this, [this] {
        bool ok = false;
        const QFont f = QFontDialog::getFont(&ok, Memo1->font(), this);
        if (!ok) return;
        userFont_ = true;
        Memo1->setFont(f);
    });
    connect(options->addAction(QStringLiteral("&Color...")), &QAction::triggered, this, [this] {
        const QColor c = QColorDialog::getColor(Memo1->palette().color(QPalette::Base), this);
        if (!c.isValid()) return;
        userColor_ = true;
        QPalette pal = Memo1->palette();
        pal.setColor(QPalette::Base, c);
        Memo1->setPalette(pal);
    });
}

void TFormEdit::applyAppearance() {
    if (!appearance_) return;
    const Appearance a = appearance_();
    QPalette pal = Memo1->palette();
    if (!userColor_ && a.background.isValid()) pal.setColor(QPalette::Base, a.background);
    pal.setColor(QPalette::Text, Qt::white);
    if (pal != Memo1->palette()) Memo1->setPalette(pal);
    if (!userFont_) {
        const QFont f = withEditorSize(a.font);
        if (f != Memo1->font()) Memo1->setFont(f);
    }
}

void TFormEdit::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) applyAppearance();
}

bool TFormEdit::eventFilter(QObject* watched, QEvent* e) {
    // The window sees these keys before the text area does (also when no shortcut fires,
    // as in a window that is not the active one).
    if (watched == Memo1 && e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Escape) {
            close();
            return true;
        }
        if (key == Qt::Key_F3) {
            FindNext();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

QString TFormEdit::text() const {
    // toPlainText would turn no-break spaces into plain ones; the raw text keeps them.
    QString t = Memo1->document()->toRawText();
    t.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return t;
}

bool TFormEdit::modified() const { return Memo1->document()->isModified(); }

bool TFormEdit::writeTo(const std::string& path) {
    const QByteArray utf8 = text().toUtf8();
    std::optional<std::string> bytes =
        editor::encodeText(std::string_view(utf8.constData(), utf8.size()), format_);
    editor::TextFormat format = format_;
    if (!bytes) {
        // Windows-1251 has no byte for some character typed or pasted in: losing it silently
        // would change the text, so the file changes to UTF-8 only when the user agrees.
        if (QMessageBox::question(this, QStringLiteral("Editor"),
                                  QStringLiteral("The text holds characters that the file's Windows-1251 "
                                                 "encoding cannot store.\nSave it in UTF-8 instead?"),
                                  QMessageBox::Yes | QMessageBox::Cancel) != QMessageBox::Yes)
            return false;
        format.encoding = editor::TextEncoding::Utf8;
        format.byteOrderMark = false;
        bytes = editor::encodeText(std::string_view(utf8.constData(), utf8.size()), format);
    }
    const editor::SaveResult r = editor::saveTextFile(path, *bytes);
    if (!r.ok) {
        QMessageBox::critical(this, QStringLiteral("Error"), QString::fromStdString(r.error));
        return false;
    }
    format_ = format;
    Memo1->document()->setModified(false);
    return true;
}

void TFormEdit::markTemporaryCopy(const QString& origin) {
    copyOrigin_ = origin;
    setWindowTitle(QStringLiteral("Editor - %1 (a copy of %2)").arg(fileNameOf(path_), origin));
}

bool TFormEdit::Save() {
    if (!copyOrigin_.isEmpty()) {
        // Writing the copy would look like a save and vanish with the window.
        QMessageBox::warning(this, QStringLiteral("Editor"),
                             QStringLiteral("This is a temporary copy of %1; it is removed when the editor "
                                            "closes, and the archive is not changed.\nUse Save As to keep "
                                            "your changes.")
                                 .arg(copyOrigin_));
        return false;
    }
    return writeTo(path_);
}

bool TFormEdit::SaveAs(const QString& path) {
    if (!writeTo(path.toStdString())) return false;
    copyOrigin_.clear();
    path_ = path.toStdString();
    setWindowTitle(QStringLiteral("Editor - ") + fileNameOf(path_));
    return true;
}

void TFormEdit::SaveAsAsk() {
    QFileDialog dialog(this, QStringLiteral("Save As"), QString::fromStdString(path_));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({QStringLiteral("Text Files (*.txt)"), QStringLiteral("All Files (*)")});
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    SaveAs(dialog.selectedFiles().first());
}

void TFormEdit::closeEvent(QCloseEvent* e) {
    if (!modified()) return e->accept();
    const auto answer = QMessageBox::warning(
        this, QStringLiteral("Editor"), QStringLiteral("Save File %1 ?").arg(QString::fromStdString(platform::visibleControls(path_))),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    // A save that failed keeps the window, so the text is not lost with it.
    if (answer == QMessageBox::No || (answer == QMessageBox::Yes && Save()))
        e->accept();
    else
        e->ignore();
}

void TFormEdit::ShowFind() {
    find_->show();
    find_->raise();
    find_->activateWindow();
}

void TFormEdit::ShowReplace() {
    replace_->show();
    replace_->raise();
    replace_->activateWindow();
}

void TFormEdit::FindNext() { Find(find_); }

void TFormEdit::notFound(const QString& what) {
    QMessageBox::information(this, QStringLiteral("Editor"), QStringLiteral("Cannot find \"%1\".").arg(what));
}

bool TFormEdit::Find(TFindDialog* from) {
    const QString what = from->findText();
    const QString all = text();
    const QTextCursor c = Memo1->textCursor();
    const auto start = static_cast<std::size_t>(c.selectionStart());
    const auto length = static_cast<std::size_t>(c.selectionEnd() - c.selectionStart());
    const auto hit = editor::findText(unitsOf(all), start, length, unitsOf(what), from->options());
    if (!hit) {
        notFound(what);
        return false;
    }
    QTextCursor sel(Memo1->document());
    sel.setPosition(static_cast<int>(*hit));
    sel.setPosition(static_cast<int>(*hit + what.size()), QTextCursor::KeepAnchor);
    Memo1->setTextCursor(sel);
    return true;
}

void TFormEdit::Replace(bool all) {
    const QString what = replace_->findText();
    const QString with = replace_->replaceText();
    const editor::SearchOptions o = replace_->options();
    QTextCursor c = Memo1->textCursor();
    if (all) {
        const QString whole = text();
        const editor::ReplaceAllResult r = editor::replaceAll(
            unitsOf(whole), static_cast<std::size_t>(c.selectionStart()),
            static_cast<std::size_t>(c.selectionEnd() - c.selectionStart()), unitsOf(what), unitsOf(with), o);
        if (r.count == 0) return;  // Replace All ends silently
        // One edit for the whole document: one undo step, and no re-search per hit.
        QTextCursor everything(Memo1->document());
        everything.beginEditBlock();
        everything.select(QTextCursor::Document);
        everything.insertText(fromUnits(r.text));
        everything.endEditBlock();
        QTextCursor sel(Memo1->document());
        sel.setPosition(static_cast<int>(r.selStart));
        sel.setPosition(static_cast<int>(r.selStart + r.selLength), QTextCursor::KeepAnchor);
        Memo1->setTextCursor(sel);
        return;
    }
    // The selection is replaced only when it is an occurrence as the options compare.
    QString selected = c.selectedText();
    selected.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    if (c.hasSelection() && editor::sameText(unitsOf(selected), unitsOf(what), o.matchCase)) {
        c.insertText(with);
        Memo1->setTextCursor(c);
    }
    Find(replace_);
}

}  // namespace kv
