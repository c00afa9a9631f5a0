#pragma once
// "Change fonts" (Ctrl+F): the active panel's font, chosen in the system font dialog; the panel's
// row height, header, status strip and column widths follow the new size at once. The copy
// button gives the other panel the same font.
#include <QDialog>

class QGroupBox;
class QListWidget;
class QPushButton;

namespace kv {

class TForm1;
class TFPanel;

class TFormFonts : public QDialog {
    Q_OBJECT
public:
    explicit TFormFonts(TForm1& form);

    QGroupBox* GroupBox1 = nullptr;
    QListWidget* ListBox1 = nullptr;
    QPushButton *Button1 = nullptr, *Button2 = nullptr, *Button3 = nullptr, *Button4 = nullptr;

    void FormActivate();
    void Button3Click();  // Change font
    void Button4Click();  // copy to the other panel

    // The font's size as the panel keeps it (points, within kv.ini's range).
    static int PanelFontSize(const QFont& font);
    // `panel` takes the font: name, size, bold, italic; Length, the header and status heights
    // and the column widths follow the size; then a layout pass.
    static void SetPanelFont(TForm1& form, TFPanel& panel, const QFont& font);

protected:
    void showEvent(QShowEvent* event) override;

private:
    TForm1& form_;
};

}  // namespace kv
