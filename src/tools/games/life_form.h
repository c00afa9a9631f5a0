#pragma once
// The Life window: a fixed view of the grid's top-left 40 x 35 cells (the rest is simulated
// but not shown), the "Game" menu and a 200 ms timer. The rules are LifeGrid's.
#include <QMainWindow>
#include <QTimer>
#include <QWidget>

#include <random>

#include "tools/games/life_rules.h"
#include "tools/tool_window.h"

class QAction;

namespace kv {

// Cells of 8 x 8 pixels with a one-pixel grid line; a click (press and release on the same
// cell) toggles a cell.
class LifeView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kShownCols = 40;
    static constexpr int kShownRows = 35;
    static constexpr int kPitch = 9;

    LifeView(games::LifeGrid& grid, QWidget* parent);
    static QRect cellRect(int col, int row);
    // The shown cell under a point, or (-1, -1).
    static QPoint cellAt(const QPoint& pos);
    void refreshCells(const std::vector<games::LifeGrid::Cell>& cells);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    games::LifeGrid& grid_;
    QPoint pressed_{-1, -1};
};

class TFormLife : public QMainWindow {
    Q_OBJECT
public:
    explicit TFormLife(ToolTexts texts = englishText, QWidget* parent = nullptr);

    games::LifeGrid& grid() { return grid_; }
    QTimer& Timer1() { return timer_; }
    // The step counter all Life windows share; a new window starts it again from 0.
    static int steps() { return steps_; }

    LifeView* View = nullptr;
    QAction* Generate1 = nullptr;
    QAction* Run1 = nullptr;
    QAction* Stop1 = nullptr;
    QAction* Clear1 = nullptr;
    QAction* OneStep1 = nullptr;
    QAction* ResetSteps1 = nullptr;
    QAction* Exit1 = nullptr;

public slots:
    void Generate1Click();
    void Run1Click();
    void Stop1Click();
    void Clear1Click();
    void OneStep1Click();
    void ResetSteps1Click();
    void Timer1Timer();

private:
    inline static int steps_ = 0;
    ToolTexts texts_;
    QString stepWord_;
    games::LifeGrid grid_;
    std::mt19937 rng_;
    QTimer timer_;
};

}  // namespace kv
