#pragma once
// The falling-blocks window: the board, the preview of the next piece, four buttons and
// the level and score. The rules are TetrisGame's; this window paints, takes keys and
// runs the fall timer.
#include <QFrame>
#include <QTimer>
#include <QWidget>

#include "tools/games/tetris_rules.h"
#include "tools/tool_window.h"

class QLabel;
class QPushButton;

namespace kv {

// The board: 23 x 12 cells of 14 x 14 pixels. Only cells that differ from what was last
// painted are repainted after a move; a repaint the system asks for draws every cell.
class TetrisBoardView : public QFrame {
    Q_OBJECT
public:
    TetrisBoardView(const games::TetrisGame& game, QWidget* parent);
    void refresh();                           // schedules the changed cells
    static QRect cellRect(int row, int col);  // in this widget

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const games::TetrisGame& game_;
    std::array<std::array<std::uint8_t, games::TetrisGame::kCols>, games::TetrisGame::kRows> painted_{};
};

// The next piece: rows 1 and 2 of its pattern in 9 x 9 squares.
class TetrisPreview : public QWidget {
    Q_OBJECT
public:
    TetrisPreview(const games::TetrisGame& game, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const games::TetrisGame& game_;
};

class TTetro1 : public QWidget {
    Q_OBJECT
public:
    explicit TTetro1(ToolTexts texts = englishText, QWidget* parent = nullptr);

    games::TetrisGame& game() { return game_; }
    QTimer& Timer1() { return timer_; }

    QPushButton* Button1 = nullptr;  // &Start
    QPushButton* Button2 = nullptr;  // &Pause
    QPushButton* Button3 = nullptr;  // &Help
    QPushButton* Button4 = nullptr;  // &Exit
    QLabel* LevelValue = nullptr;
    QLabel* ScoreValue = nullptr;
    TetrisBoardView* Board = nullptr;
    TetrisPreview* Preview = nullptr;

    // The colour of a cell value: 0 navy, 1 button face, 2..8 red, green, blue, magenta,
    // cyan, yellow, white.
    static QColor cellColour(int value, const QPalette& palette);
    // A block: its colour inside a grey left and bottom edge and a white right and top edge.
    static void paintBlock(QPainter& p, const QRect& r, const QColor& fill);

public slots:
    void Button1Click();  // Start
    void Button2Click();  // Pause
    void Button3Click();  // Help
    void Timer1Timer();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showState();

    ToolTexts texts_;
    games::TetrisGame game_;
    QTimer timer_;
    bool inTimer_ = false;  // a tick arriving while the game-over box is open is ignored
    bool inKey_ = false;
    int shownLevel_ = -1, shownScore_ = -1;
};

}  // namespace kv
