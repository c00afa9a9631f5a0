#include "main/calculator_form.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

namespace kv {

TCalculatorForm::TCalculatorForm(QWidget* parent, const QString& caption) : QDialog(parent) {
    setObjectName(QStringLiteral("Calculator"));
    setWindowTitle(caption);
    auto* grid = new QGridLayout(this);
    display_ = new QLineEdit(this);
    display_->setObjectName(QStringLiteral("Display"));
    display_->setReadOnly(true);
    display_->setAlignment(Qt::AlignRight);
    display_->setFocusPolicy(Qt::NoFocus);
    QFont f = display_->font();
    f.setPointSize(f.pointSize() + 4);
    display_->setFont(f);
    grid->addWidget(display_, 0, 0, 1, 5);
    static const char* pad[4][5] = {{"7", "8", "9", "/", "C"},
                                    {"4", "5", "6", "*", "CE"},
                                    {"1", "2", "3", "-", "<-"},
                                    {"0", "+/-", ".", "+", "="}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 5; ++c) {
            const QString text = QString::fromLatin1(pad[r][c]);
            auto* b = new QPushButton(text, this);
            b->setObjectName(QStringLiteral("Key_") + text);
            b->setFocusPolicy(Qt::NoFocus);
            b->setMinimumSize(40, 30);
            connect(b, &QPushButton::clicked, this, [this, text] { press(text); });
            grid->addWidget(b, r + 1, c);
        }
    engine_.setValue(0);
    display_->setText(QString::fromStdString(engine_.display()));
}

QString TCalculatorForm::displayText() const { return display_->text(); }

void TCalculatorForm::press(const QString& key) {
    if (key.size() == 1 && key[0].isDigit())
        engine_.digit(key[0].digitValue());
    else if (key == QLatin1String("."))
        engine_.point();
    else if (key == QLatin1String("+") || key == QLatin1String("-") || key == QLatin1String("*") ||
             key == QLatin1String("/"))
        engine_.op(key[0].toLatin1());
    else if (key == QLatin1String("="))
        engine_.equals();
    else if (key == QLatin1String("C"))
        engine_.clear();
    else if (key == QLatin1String("CE"))
        engine_.clearEntry();
    else if (key == QLatin1String("<-"))
        engine_.backspace();
    else if (key == QLatin1String("+/-"))
        engine_.negate();
    display_->setText(QString::fromStdString(engine_.display()));
}

void TCalculatorForm::keyPressEvent(QKeyEvent* event) {
    const QString t = event->text();
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || t == QLatin1String("="))
        press(QStringLiteral("="));
    else if (event->key() == Qt::Key_Backspace)
        press(QStringLiteral("<-"));
    else if (event->key() == Qt::Key_Delete)
        press(QStringLiteral("C"));
    else if (t == QLatin1String(","))
        press(QStringLiteral("."));
    else if (t.size() == 1 && QStringLiteral("0123456789.+-*/").contains(t))
        press(t);
    else
        QDialog::keyPressEvent(event);  // Esc closes
}

}  // namespace kv
