#pragma once
// The tray icon's menu: a 30 px margin on the left with a green gradient and the
// program's name written upwards in it.
#include <QMenu>

namespace kv {

class TTrayMenu : public QMenu {
public:
    static constexpr int kMargin = 30;
    explicit TTrayMenu(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace kv
