#pragma once
// TFormSort, the sort-mode chooser (Ctrl+F12): a list of the five orders; the item under
// the mouse is highlighted and a press on it re-sorts the active panel. Enter takes the
// highlighted item too; Esc closes without a change. Made for each use, modal.
//   TFormSort d(form); d.exec();
#include <QDialog>

class QGroupBox;
class QListWidget;

namespace kv {

class TForm1;

class TFormSort : public QDialog {
    Q_OBJECT
public:
    explicit TFormSort(TForm1& form);

    QGroupBox* GroupBox1 = nullptr;
    QListWidget* ListBox1 = nullptr;

    // The SortMethod each list item stands for: Name 1, Extension 2, Size 3, Date 4, None 0.
    static int sortMethodOfItem(int item);
    // The group box's words for a SortMethod (" Sort by name ", ...).
    static QString groupCaption(int sortMethod);

    // Takes the highlighted item: the panel re-sorts and the chooser closes.
    void choose();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* e) override;

private:
    void FormActivate();
    TForm1& form_;
};

}  // namespace kv
