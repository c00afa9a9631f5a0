#include "tools/dialer/dialup_form.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace kv {

TFormDialUp::TFormDialUp(std::unique_ptr<dialer::DialService> service, DialerOptions options, ToolTexts texts,
                         QWidget* parent)
    : QWidget(parent) {
    setWindowTitle(texts("Caption", "Internet Dialer"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    DialUp = new TDialUp(std::move(service), this);
    connect(DialUp, &TDialUp::asyncEvent, this, &TFormDialUp::AsyncEvent);
    // A dial that cannot even start is logged, so the window does not sit waiting silently.
    connect(DialUp, &TDialUp::error, this, [this](int code, const QString& text) {
        Log->addItem(text.isEmpty() ? QStringLiteral("Error %1").arg(code) : text);
        Log->scrollToBottom();
    });

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    EntryList = new QListWidget;
    DialUp->GetEntries();
    for (const QString& name : DialUp->Entries) {
        auto* item = new QListWidgetItem(name, EntryList);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    top->addWidget(EntryList, 1);
    auto* buttons = new QVBoxLayout;
    CallButton = new QPushButton(texts("Button_Call", "&Call"));
    CallButton->setDefault(true);
    HangUpButton = new QPushButton(texts("Button_HungUp", "&Hung up"));
    OptionsButton = new QPushButton(texts("Button_Options", "O&ptions"));
    CancelButton = new QPushButton(texts("Button_Cancel", "C&ancel"));
    for (QPushButton* b : {CallButton, HangUpButton, OptionsButton, CancelButton}) buttons->addWidget(b);
    buttons->addStretch();
    top->addLayout(buttons);
    layout->addLayout(top);

    auto* counterRow = new QHBoxLayout;
    counterRow->addWidget(new QLabel(texts("Label_NumberCon", "Number of connections:")));
    Counter = new QLabel(QStringLiteral("0"));
    counterRow->addWidget(Counter);
    counterRow->addStretch();
    layout->addLayout(counterRow);

    Log = new QListWidget;
    Log->setStyleSheet(QStringLiteral("QListWidget { background: #c0c0c0; }"));
    Log->viewport()->installEventFilter(this);
    layout->addWidget(Log, 1);

    // The options panel covers the whole window while it is shown.
    OptionsPanel = new QFrame(this);
    OptionsPanel->setFrameShape(QFrame::Panel);
    OptionsPanel->setAutoFillBackground(true);
    auto* panel = new QVBoxLayout(OptionsPanel);
    panel->addWidget(new QLabel(texts("Label_CaptionOfOptions", "Configuration")));
    CloseOnConnect = new QCheckBox(texts("CheckBox_CloseOnConnect", "Close this form if co&nnected"));
    CloseOnBusy = new QCheckBox(texts("CheckBox_CloseOnBusy", "Close this form if b&usy"));
    panel->addWidget(CloseOnConnect);
    panel->addWidget(CloseOnBusy);
    auto* group = new QGroupBox(texts("GroupBoxCaption", " Redialing options "));
    auto* groupGrid = new QGridLayout(group);
    Redial = new QCheckBox(QStringLiteral("Redial on &busy"));
    RedialTime = new QSpinBox;
    RedialTime->setRange(0, 1000000);
    groupGrid->addWidget(Redial, 0, 0, 1, 2);
    groupGrid->addWidget(new QLabel(texts("Label_CallAfterSecund", "Redial after secund:")), 1, 0);
    groupGrid->addWidget(RedialTime, 1, 1);
    panel->addWidget(group);
    OptionsOk = new QPushButton(QStringLiteral("&OK"));
    panel->addWidget(OptionsOk, 0, Qt::AlignHCenter);
    panel->addStretch();
    OptionsPanel->hide();

    CloseOnConnect->setChecked(options.closeOnConnect);
    CloseOnBusy->setChecked(options.closeOnBusy);
    Redial->setChecked(options.redial);
    RedialTime->setValue(options.redialTime);
    countdown_ = options.redialTime;

    connect(CallButton, &QPushButton::clicked, this, &TFormDialUp::CallClick);
    connect(HangUpButton, &QPushButton::clicked, this, &TFormDialUp::HangUpClick);
    connect(OptionsButton, &QPushButton::clicked, this, [this] {
        OptionsPanel->setVisible(!OptionsPanel->isVisible());
        OptionsPanel->raise();
    });
    connect(OptionsOk, &QPushButton::clicked, OptionsPanel, &QWidget::hide);
    connect(CancelButton, &QPushButton::clicked, this, &QWidget::close);
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, &TFormDialUp::Timer1Timer);
    resize(360, 320);
}

DialerOptions TFormDialUp::options() const {
    return {Redial->isChecked(), CloseOnBusy->isChecked(), CloseOnConnect->isChecked(), RedialTime->value()};
}

bool TFormDialUp::checked(int index) const {
    const QListWidgetItem* item = EntryList->item(index);
    return item && item->checkState() == Qt::Checked;
}

bool TFormDialUp::anyChecked() const {
    for (int i = 0; i < EntryList->count(); ++i)
        if (checked(i)) return true;
    return false;
}

QString TFormDialUp::entryName(int index) const {
    const QListWidgetItem* item = EntryList->item(index);
    return item ? item->text() : QString();
}

bool TFormDialUp::advanceToChecked() {
    const int count = EntryList->count();
    int at = current_;
    // Every entry once, the current one last, so a single checked entry is dialed again.
    for (int step = 0; step < count; ++step) {
        at = (at + 1) % count;
        if (checked(at)) {
            current_ = at;
            return true;
        }
    }
    return false;
}

void TFormDialUp::CallClick() {
    if (anyChecked()) {
        // During a countdown this moves on to the next checked entry and dials it at once.
        if (advanceToChecked()) {
            found_ = true;
            countdown_ = 0;
            timer_.start();
        }
        return;
    }
    if (QListWidgetItem* item = EntryList->currentItem()) {
        DialUp->Entry = item->text();
        if (!DialUp->Entry.isEmpty()) {
            DialUp->Dial();
            setWindowTitle(QStringLiteral("Dial to <%1>").arg(DialUp->Entry));
        }
    }
}

void TFormDialUp::dialCurrent() {
    EntryList->setCurrentRow(current_);
    DialUp->Entry = entryName(current_);
    DialUp->Dial();
    setWindowTitle(QStringLiteral("Dial to <%1>").arg(DialUp->Entry));
}

void TFormDialUp::Timer1Timer() {
    --countdown_;
    if (countdown_ >= 0)
        setWindowTitle(QStringLiteral("Wait %1 secund for <%2>").arg(countdown_).arg(entryName(current_)));
    if (countdown_ < 1) {
        found_ = false;
        timer_.stop();
        dialCurrent();
    }
}

void TFormDialUp::HangUpClick() {
    timer_.stop();  // a hang-up also ends a countdown, so the line stays down
    found_ = false;
    DialUp->HangUp();
    setWindowTitle(QStringLiteral("Inet Dialer"));
}

void TFormDialUp::AsyncEvent(int state, int error, const QString& message) {
    QString line = message;
    if (message == QLatin1String("Connecting device")) line += QStringLiteral(" <%1>").arg(DialUp->Entry);
    if (message == QLatin1String("Connected")) {
        line = QStringLiteral("The connection is established <%1>").arg(DialUp->Entry);
        setWindowTitle(QStringLiteral("Connected <%1>").arg(DialUp->Entry));
    }
    Log->addItem(line);
    Log->scrollToBottom();
    if (Log->count() > kMaxLogLines) Log->clear();

    // A closed window only logs: it never redials or closes again.
    if (!isVisible()) return;
    if (CloseOnConnect->isChecked() && state == dialer::kConnected) {
        close();
        return;
    }
    if (CloseOnBusy->isChecked() && error == dialer::kLineBusy) {
        close();
        return;
    }
    const bool redialable =
        error == dialer::kPortDisconnected || error == dialer::kLineBusy || error == dialer::kOtherFailure;
    if (redialable && anyChecked() && Redial->isChecked()) {
        Counter->setText(QString::number(++attempts_));
        if (!found_ && advanceToChecked()) {
            found_ = true;
            countdown_ = RedialTime->value();
            timer_.start();
            EntryList->setCurrentRow(current_);
        }
    }
}

void TFormDialUp::closeEvent(QCloseEvent* event) {
    if (OptionsPanel->isVisible()) {
        OptionsPanel->hide();
        event->ignore();
        return;
    }
    timer_.stop();
    found_ = false;
    emit closedWithOptions(options());
    QWidget::closeEvent(event);
}

void TFormDialUp::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    OptionsPanel->setGeometry(rect());
}

bool TFormDialUp::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Log->viewport() && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
        Log->clear();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace kv
