#pragma once
#include <QDialog>

namespace kv {

// "About program": the program's name, what it is and its version.
class TAboutForm : public QDialog {
    Q_OBJECT
public:
    TAboutForm(QWidget* parent, const QString& caption);

protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace kv
