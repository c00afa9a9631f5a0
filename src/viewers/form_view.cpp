#include "viewers/form_view.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/display_text.h"
#include "viewers/view/go_to.h"
#include "viewers/view_pane.h"

namespace kv {

namespace {

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
// A file name or path as the title and status line show it: controls and direction overrides
// made visible.
QString shown(std::string_view path) { return qs(platform::visibleControls(path)); }

QString grouped(std::uint64_t n) {
    QString digits = QString::number(n);
    for (int i = digits.size() - 3; i > 0; i -= 3) digits.insert(i, QLatin1Char(','));
    return digits;
}

constexpr int kFollowMs = 500;

}  // namespace

TFormView* TFormView::Open(QWidget* owner, const std::string& path, QString* error) {
    auto* v = new TFormView(owner, path);
    std::string why;
    if (!v->doc_.open(path, &why)) {
        if (error) *error = QStringLiteral("Cannot open %1: %2").arg(shown(path), qs(why));
        delete v;
        return nullptr;
    }
    v->pane_->relayout();
    v->showStatus();
    if (owner) v->setGeometry(owner->geometry());
    v->show();
    v->raise();
    v->activateWindow();
    v->pane_->setFocus();
    return v;
}

TFormView::TFormView(QWidget* owner, const std::string& path) : QMainWindow(owner, Qt::Window), path_(path) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("FormView"));
    setWindowTitle(QStringLiteral("View - ") + shown(path));
    pane_ = new TViewPane(doc_, this);
    setCentralWidget(pane_);
    status_ = new QLabel(this);
    keys_ = new QLabel(keysText(), this);
    keys_->setObjectName(QStringLiteral("ViewKeys"));
    auto* box = new QWidget(this);
    auto* lines = new QVBoxLayout(box);
    lines->setContentsMargins(4, 0, 4, 0);
    lines->setSpacing(0);
    lines->addWidget(status_);
    lines->addWidget(keys_);
    statusBar()->addWidget(box, 1);
    connect(pane_, &TViewPane::moved, this, &TFormView::showStatus);
    searchTimer_ = new QTimer(this);
    searchTimer_->setInterval(50);
    connect(searchTimer_, &QTimer::timeout, this, &TFormView::searchTick);
    followTimer_ = new QTimer(this);
    followTimer_->setInterval(kFollowMs);
    connect(followTimer_, &QTimer::timeout, this, &TFormView::followTick);
}

TFormView::~TFormView() = default;

QString TFormView::keysText() const {
    return QStringLiteral(
        "F2 Wrap  F4 Edit  F5 Text/Hex/Dump  F7 Search  Shift+F7 Next  Alt+F7 Previous  F8 Encoding  "
        "Ctrl+G Go to  Ctrl+F Follow  Ctrl+C Copy  Esc Close");
}

QString TFormView::statusText() const { return status_->text(); }

void TFormView::note(const QString& text) {
    note_ = text;
    showStatus();
}

void TFormView::showStatus() {
    QString s = shown(path_.substr(path_.rfind('/') + 1));
    const std::uint64_t size = doc_.size();
    const std::uint64_t at = pane_->selectionFrom() < pane_->selectionTo() ? pane_->selectionFrom() : doc_.top();
    if (const std::uint64_t line = doc_.lineNumberAt(doc_.top())) s += QStringLiteral("   Line %1").arg(line);
    s += QStringLiteral("   Offset %1 of %2 bytes   %3%")
             .arg(QStringLiteral("0x") + QString::number(at, 16).toUpper(), grouped(size))
             .arg(size == 0 ? 100 : static_cast<int>(doc_.atEnd() ? 100 : doc_.top() * 100 / size));
    s += QStringLiteral("   ") + qs(view::modeName(doc_.mode())) + QStringLiteral("   ") +
         qs(view::encodingName(doc_.encoding()));
    if (doc_.mode() == view::ViewMode::Text) s += doc_.wrap() ? QStringLiteral("   Wrap") : QStringLiteral("   No wrap");
    if (doc_.follow()) s += QStringLiteral("   Follow");
    if (search_.running()) {
        const auto& p = search_.progress();
        const std::uint64_t total = std::max<std::uint64_t>(p.total.load(), 1);
        s += QStringLiteral("   Searching %1%... (Esc stops)").arg(p.done.load() * 100 / total);
    } else if (!note_.isEmpty()) {
        s += QStringLiteral("   ") + note_;
    }
    status_->setText(s);
}

void TFormView::toggleWrap() {
    doc_.setWrap(!doc_.wrap());
    pane_->relayout();
}

void TFormView::nextMode() {
    const view::ViewMode m = doc_.mode();
    doc_.setMode(m == view::ViewMode::Text ? view::ViewMode::Hex
                 : m == view::ViewMode::Hex ? view::ViewMode::Dump
                                            : view::ViewMode::Text);
    pane_->relayout();
}

void TFormView::nextEncoding() {
    doc_.setEncoding(view::nextEncoding(doc_.encoding()));
    pane_->relayout();
}

void TFormView::toggleFollow() {
    doc_.setFollow(!doc_.follow());
    if (doc_.follow()) followTimer_->start();
    else followTimer_->stop();
    pane_->relayout();
}

void TFormView::followTick() {
    if (doc_.refresh()) pane_->relayout();
}

bool TFormView::startSearch(view::SearchRequest request) {
    request.encoding = doc_.encoding();
    request.unitStart = doc_.dataStart() % 2;
    std::string error;
    cancelSearch();
    if (!search_.start(doc_.file().fd(), doc_.size(), request, &error)) {
        note(qs(error));
        return false;
    }
    last_ = request;
    haveLast_ = true;
    note_.clear();
    searchTimer_->start();
    showStatus();
    return true;
}

void TFormView::findAgain(bool reverse) {
    if (!haveLast_) return askSearch();
    view::SearchRequest r = last_;
    if (reverse) r.backward = !r.backward;
    // On from the match shown (or the top): past it forward, before it back.
    const bool selected = pane_->selectionFrom() < pane_->selectionTo();
    const std::uint64_t here = selected ? pane_->selectionFrom() : doc_.top();
    r.from = r.backward ? here : (selected ? here + 1 : here);
    const bool backward = r.backward;
    startSearch(r);
    last_.backward = reverse ? !backward : backward;
}

void TFormView::cancelSearch() {
    if (search_.running()) search_.cancel();
    if (search_.running() || search_.finished()) search_.result();
    searchTimer_->stop();
}

void TFormView::searchTick() {
    if (!search_.finished()) return showStatus();
    searchTimer_->stop();
    const view::SearchResult r = search_.result();
    switch (r.outcome) {
        case view::SearchResult::Outcome::Found:
            pane_->select(r.offset, r.offset + r.length);
            pane_->reveal(r.offset);
            note(QStringLiteral("Found at 0x%1").arg(QString::number(r.offset, 16).toUpper()));
            break;
        case view::SearchResult::Outcome::NotFound: note(QStringLiteral("Not found")); break;
        case view::SearchResult::Outcome::Cancelled: note(QStringLiteral("Search stopped")); break;
        case view::SearchResult::Outcome::Failed: note(QStringLiteral("Search failed: ") + qs(r.message)); break;
    }
}

bool TFormView::goTo(const QString& where) {
    const auto g = view::parseGoTo(where.toStdString());
    if (!g) {
        note(QStringLiteral("Go to: a line, an offset (0x1F0 or 1F0h) or a percentage (50%)"));
        return false;
    }
    switch (g->kind) {
        case view::GoTo::Kind::Line:
            if (doc_.mode() != view::ViewMode::Text) doc_.gotoOffset(g->value);  // hex: a plain number is an offset
            else if (!doc_.gotoLine(g->value)) note(QStringLiteral("The file has fewer lines"));
            break;
        case view::GoTo::Kind::Offset: doc_.gotoOffset(g->value); break;
        case view::GoTo::Kind::Percent: doc_.gotoPercent(static_cast<double>(g->value)); break;
    }
    pane_->relayout();
    return true;
}

void TFormView::copySelection() {
    if (pane_->selectionFrom() >= pane_->selectionTo()) return;
    const std::string text = doc_.copyText(pane_->selectionFrom(), pane_->selectionTo());
    QApplication::clipboard()->setText(qs(text));
    note(QStringLiteral("Copied"));
}

void TFormView::openInEditor() {
    if (EditFile && EditFile(path_)) {
        close();
        return;
    }
    note(QStringLiteral("The editor does not take this file (binary or too big)"));
}

void TFormView::askSearch() {
    QDialog d(this);
    d.setObjectName(QStringLiteral("ViewSearch"));
    d.setWindowTitle(QStringLiteral("Search"));
    auto* text = new QLineEdit(&d);
    text->setObjectName(QStringLiteral("SearchText"));
    auto* hex = new QCheckBox(QStringLiteral("&Hex bytes (4D 5A ...)"), &d);
    auto* matchCase = new QCheckBox(QStringLiteral("&Match case"), &d);
    auto* backward = new QCheckBox(QStringLiteral("Search &backward"), &d);
    if (haveLast_) {
        text->setText(qs(last_.text));
        hex->setChecked(last_.hex);
        matchCase->setChecked(last_.matchCase);
        backward->setChecked(last_.backward);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &d);
    connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    auto* l = new QVBoxLayout(&d);
    l->addWidget(new QLabel(QStringLiteral("Search for:"), &d));
    for (QWidget* w : std::initializer_list<QWidget*>{text, hex, matchCase, backward, buttons}) l->addWidget(w);
    if (d.exec() != QDialog::Accepted) return;
    view::SearchRequest r;
    r.text = text->text().toStdString();
    r.hex = hex->isChecked();
    r.matchCase = matchCase->isChecked();
    r.backward = backward->isChecked();
    // From the top of the page, or from a match shown (forward: past its start).
    const bool selected = pane_->selectionFrom() < pane_->selectionTo();
    r.from = selected ? pane_->selectionFrom() + (r.backward ? 0 : 1) : doc_.top();
    startSearch(r);
}

void TFormView::askGoTo() {
    bool ok = false;
    const QString where = QInputDialog::getText(
        this, QStringLiteral("Go to"), QStringLiteral("Line, offset (0x1F0 or 1F0h) or percentage (50%):"),
        QLineEdit::Normal, QString(), &ok);
    if (ok) goTo(where);
}

void TFormView::keyPressEvent(QKeyEvent* e) {
    const Qt::KeyboardModifiers mods = e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const int key = e->key();
    if (mods == Qt::NoModifier) {
        switch (key) {
            case Qt::Key_Escape:
                if (search_.running()) return cancelSearch(), showStatus();
                close();
                return;
            case Qt::Key_F3:
            case Qt::Key_F10: close(); return;
            case Qt::Key_F2: return toggleWrap();
            case Qt::Key_F4: return openInEditor();
            case Qt::Key_F5: return nextMode();
            case Qt::Key_F7: return askSearch();
            case Qt::Key_F8: return nextEncoding();
            default: break;
        }
    }
    if (key == Qt::Key_F7 && mods == Qt::ShiftModifier) return findAgain(false);
    if (key == Qt::Key_F7 && mods == Qt::AltModifier) return findAgain(true);
    if (mods == Qt::ControlModifier) {
        switch (key) {
            case Qt::Key_G: return askGoTo();
            case Qt::Key_F: return toggleFollow();
            case Qt::Key_C:
            case Qt::Key_Insert: return copySelection();
            default: break;
        }
    }
    QMainWindow::keyPressEvent(e);
}

void TFormView::closeEvent(QCloseEvent* e) {
    cancelSearch();
    followTimer_->stop();
    QMainWindow::closeEvent(e);
}

}  // namespace kv
