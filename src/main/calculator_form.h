#pragma once
#include <QDialog>

#include "main/calculator_engine.h"

class QLineEdit;

namespace kv {

// The calculator dialog: a display and a pad of buttons; the keyboard works too.
class TCalculatorForm : public QDialog {
    Q_OBJECT
public:
    TCalculatorForm(QWidget* parent, const QString& caption);
    const CalculatorEngine& engine() const { return engine_; }
    QString displayText() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void press(const QString& key);
    CalculatorEngine engine_;
    QLineEdit* display_ = nullptr;
};

}  // namespace kv
