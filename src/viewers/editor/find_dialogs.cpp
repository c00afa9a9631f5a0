#include "viewers/editor/find_dialogs.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace kv {

namespace {
constexpr int kMaxSearchText = 255;
}

TFindDialog::TFindDialog(QWidget* parent, bool replace) : QDialog(parent) {
    setWindowTitle(replace ? QStringLiteral("Replace") : QStringLiteral("Find"));
    setModal(false);
    auto* grid = new QGridLayout;
    what_ = new QLineEdit;
    what_->setMaxLength(kMaxSearchText);
    auto* whatLabel = new QLabel(QStringLiteral("Fi&nd what:"));
    whatLabel->setBuddy(what_);
    grid->addWidget(whatLabel, 0, 0);
    grid->addWidget(what_, 0, 1);
    if (replace) {
        with_ = new QLineEdit;
        with_->setMaxLength(kMaxSearchText);
        auto* withLabel = new QLabel(QStringLiteral("Re&place with:"));
        withLabel->setBuddy(with_);
        grid->addWidget(withLabel, 1, 0);
        grid->addWidget(with_, 1, 1);
    }
    wholeWord_ = new QCheckBox(QStringLiteral("Match &whole word only"));
    matchCase_ = new QCheckBox(QStringLiteral("Match &case"));
    auto* checks = new QVBoxLayout;
    checks->addWidget(wholeWord_);
    checks->addWidget(matchCase_);
    auto* lower = new QHBoxLayout;
    lower->addLayout(checks);
    if (!replace) {
        auto* direction = new QGroupBox(QStringLiteral("Direction"));
        up_ = new QRadioButton(QStringLiteral("&Up"));
        down_ = new QRadioButton(QStringLiteral("&Down"));
        auto* dl = new QHBoxLayout(direction);
        dl->addWidget(up_);
        dl->addWidget(down_);
        lower->addWidget(direction);
    }
    grid->addLayout(lower, replace ? 2 : 1, 0, 1, 2);

    auto* buttons = new QVBoxLayout;
    findNext_ = new QPushButton(QStringLiteral("&Find Next"));
    findNext_->setDefault(true);
    buttons->addWidget(findNext_);
    if (replace) {
        replace_ = new QPushButton(QStringLiteral("&Replace"));
        replaceAll_ = new QPushButton(QStringLiteral("Replace &All"));
        buttons->addWidget(replace_);
        buttons->addWidget(replaceAll_);
        connect(replace_, &QPushButton::clicked, this, [this] { emit replaceClicked(false); });
        connect(replaceAll_, &QPushButton::clicked, this, [this] { emit replaceClicked(true); });
    }
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    buttons->addWidget(cancel);
    buttons->addStretch();
    connect(findNext_, &QPushButton::clicked, this, &TFindDialog::findNextClicked);
    connect(cancel, &QPushButton::clicked, this, &QDialog::hide);

    auto* top = new QHBoxLayout(this);
    top->addLayout(grid, 1);
    top->addLayout(buttons);
    // The find dialog starts with Down, Match case and Whole word; the replace dialog Down only.
    setOptions(replace ? editor::SearchOptions{true, false, false} : editor::SearchOptions{true, true, true});
}

QString TFindDialog::findText() const { return what_->text(); }
QString TFindDialog::replaceText() const { return with_ ? with_->text() : QString(); }
void TFindDialog::setFindText(const QString& t) { what_->setText(t); }
void TFindDialog::setReplaceText(const QString& t) {
    if (with_) with_->setText(t);
}

editor::SearchOptions TFindDialog::options() const {
    editor::SearchOptions o;
    o.down = !up_ || !up_->isChecked();
    o.matchCase = matchCase_->isChecked();
    o.wholeWord = wholeWord_->isChecked();
    return o;
}

void TFindDialog::setOptions(const editor::SearchOptions& o) {
    if (up_) (o.down ? down_ : up_)->setChecked(true);
    matchCase_->setChecked(o.matchCase);
    wholeWord_->setChecked(o.wholeWord);
}

}  // namespace kv
