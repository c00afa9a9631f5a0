#pragma once
// A live look at a dialog template, rebuilt with the toolkit's widgets: buttons, check
// boxes, edits, labels, lists, combo boxes, scroll bars and group boxes where the template
// names them, and a labelled frame for a control class we do not know (so nothing is left
// out). Positions are the template's dialog units, converted by the dialog's own font.
#include <QDialog>

#include "viewers/exe/dialog_template.h"

namespace kv {

class TDialogPreview : public QDialog {
    Q_OBJECT
public:
    explicit TDialogPreview(const exe::DialogTemplate& t, QWidget* parent = nullptr);
    // Controls of a class the preview draws as a frame with its class name.
    int unknownControls() const { return unknown_; }

private:
    int unknown_ = 0;
};

}  // namespace kv
