#pragma once
// TFormPlus, the select-group dialog: a mask typed or picked from the masks used before;
// OK flips the selection of every matching file of the active panel (grey +), or
// unselects them (grey -). Made once and kept, so its list collects the masks of the run.
//   TFormPlus::instance(form).run(GroupAction::Flip);
#include <QDialog>

#include "panel/model/select_group.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace kv {

class TForm1;

class TFormPlus : public QDialog {
    Q_OBJECT
public:
    // The window's one select-group dialog, made on first use.
    static TFormPlus& instance(TForm1& form);

    // Shows the dialog modally for the active panel; true when OK applied a mask.
    bool run(GroupAction action);

    QLabel* Label1 = nullptr;
    QComboBox* Edit1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

private:
    explicit TFormPlus(TForm1& form);
    void Button1Click();
    void remember(const QString& mask);

    TForm1& form_;
    GroupAction action_ = GroupAction::Flip;
};

}  // namespace kv
