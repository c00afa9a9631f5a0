#pragma once
// "Set Colors" (Ctrl+C): the ten colours of the active panel, edited on a working copy with a
// preview of a panel; OK gives the copy to the panel, the copy button gives the other panel the
// active panel's colours at once.
#include <QDialog>

#include <array>

#include "panel/model/panel_settings.h"

class QGroupBox;
class QPainter;
class QLabel;
class QListWidget;
class QPushButton;
class QTimer;

namespace kv {

class TForm1;
class TFPanel;

class TFormColor : public QDialog {
    Q_OBJECT
public:
    static constexpr int kItems = 10;
    explicit TFormColor(TForm1& form);

    // The colour a list item edits, in a panel.
    static TColorRef& PanelColor(TFPanel& panel, int item);

    QGroupBox* GroupBox1 = nullptr;
    QListWidget* ListBox1 = nullptr;
    QWidget* Panel1 = nullptr;
    QWidget* PaintBox1 = nullptr;
    QLabel* L1 = nullptr;  // the blinking "<<"
    QPushButton *Button1 = nullptr, *Button2 = nullptr, *Button3 = nullptr, *Button4 = nullptr;
    QTimer* Timer1 = nullptr;

    const std::array<TColorRef, kItems>& working() const { return work_; }

    void FormActivate();
    void Button1Click();  // OK
    void Button3Click();  // Choose
    void Button4Click();  // copy to the other panel
    void ListBox1MouseMove();
    void Timer1Timer();
    void PaintBox1Paint(QPainter& p, const QSize& size) const;

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TForm1& form_;
    std::array<TColorRef, kItems> work_{};
};

}  // namespace kv
