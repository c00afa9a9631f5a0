#pragma once
// The editor's find and replace dialogs, in the layout of the desktop's common ones: search
// text (and replacement) of at most 255 characters, Match whole word only, Match case, and
// for Find a direction. Not modal; the buttons are signals the editor answers.
#include <QDialog>

#include "viewers/editor/text_search.h"

class QLineEdit;
class QCheckBox;
class QRadioButton;
class QPushButton;

namespace kv {

class TFindDialog : public QDialog {
    Q_OBJECT
public:
    // With `replace` the dialog has a replacement line and Replace / Replace All buttons and
    // always searches down.
    TFindDialog(QWidget* parent, bool replace);

    QString findText() const;
    QString replaceText() const;
    editor::SearchOptions options() const;
    void setOptions(const editor::SearchOptions& o);
    void setFindText(const QString& t);
    void setReplaceText(const QString& t);

    QPushButton* findNextButton() const { return findNext_; }
    QPushButton* replaceButton() const { return replace_; }
    QPushButton* replaceAllButton() const { return replaceAll_; }

signals:
    void findNextClicked();
    void replaceClicked(bool all);

private:
    QLineEdit* what_ = nullptr;
    QLineEdit* with_ = nullptr;
    QCheckBox* wholeWord_ = nullptr;
    QCheckBox* matchCase_ = nullptr;
    QRadioButton* up_ = nullptr;
    QRadioButton* down_ = nullptr;
    QPushButton* findNext_ = nullptr;
    QPushButton* replace_ = nullptr;
    QPushButton* replaceAll_ = nullptr;
};

}  // namespace kv
