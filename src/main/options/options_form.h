#pragma once
// "Main options" (Ctrl+P, the tray's "Configuration"): the program's and the panels' settings
// on four pages. OK writes them into the settings records and the panels and applies them to
// the window at once; the language takes effect at the next start, and kv.ini is written when
// the main window closes.
#include <QDialog>

#include <vector>

#include "main/options/param_values.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;

namespace kv {

class TForm1;
class TFPanel;

class TFormParam : public QDialog {
    Q_OBJECT
public:
    explicit TFormParam(TForm1& form);

    QTabWidget* Book = nullptr;
    // "Main"
    QLabel* Label6 = nullptr;
    QSpinBox* Edit4 = nullptr;
    QCheckBox *CheckBox18 = nullptr, *CheckBox17 = nullptr, *CheckBox15 = nullptr, *CheckBox16 = nullptr,
              *CheckBox14 = nullptr;
    QRadioButton *Lang1 = nullptr, *Lang2 = nullptr;
    // "Panels"
    QGroupBox* GroupBox2 = nullptr;
    QSpinBox *Edit1 = nullptr, *Edit2 = nullptr, *Edit3 = nullptr;
    QCheckBox *CheckBox5 = nullptr, *CheckBox6 = nullptr, *CheckBox7 = nullptr, *CheckBox8 = nullptr,
              *CheckBox9 = nullptr, *CheckBox11 = nullptr, *CheckBox12 = nullptr, *CheckBox13 = nullptr,
              *CheckBox22 = nullptr;
    // "Interface"
    QCheckBox *CheckBox19 = nullptr, *CheckBox20 = nullptr, *CheckBox21 = nullptr, *CheckBox10 = nullptr,
              *CheckBox23 = nullptr;
    // "Confirmation"
    QCheckBox *CheckBox1 = nullptr, *CheckBox2 = nullptr, *CheckBox3 = nullptr, *CheckBox4 = nullptr;
    QPushButton *Button1 = nullptr, *Button2 = nullptr, *Button3 = nullptr;  // OK, Cancel, Set Default

    // Fills every page from the settings and the panel(s) the "Panels" page concerns.
    void FormActivate();
    void Button1Click();  // OK
    void Button3Click();  // Set Default

    // The values the controls hold now, and back.
    ParamValues values() const;
    void setValues(const ParamValues& v);

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The panels the "Panels" page writes into: the active one, or both with synchronisation.
    std::vector<TFPanel*> targetPanels() const;
    TForm1& form_;
};

}  // namespace kv
