#include "tools/games/tetro_form.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>

#include <chrono>

namespace kv {

namespace {

using games::TetrisGame;

constexpr int kCell = 14;
constexpr int kPreviewCell = 9;
constexpr QRect kBoardFrame(1, 2, 176, 330);
constexpr QSize kClient(176 + 62 + 12, 330 + 8);
constexpr int kButtonLeft = 1 + 176 + 8;
constexpr int kButtonWidth = 57;
constexpr int kButtonHeight = 25;

// Clears a re-entrance flag however the handler leaves.
struct Busy {
    explicit Busy(bool& flag) : flag_(flag) { flag_ = true; }
    ~Busy() { flag_ = false; }
    bool& flag_;
};

std::uint32_t clockSeed() {
    return static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count());
}

}  // namespace

QColor TTetro1::cellColour(int value, const QPalette& palette) {
    switch (value) {
        case 0: return QColor(0, 0, 128);
        case 1: return palette.color(QPalette::Button);
        case 2: return QColor(255, 0, 0);
        case 3: return QColor(0, 255, 0);
        case 4: return QColor(0, 0, 255);
        case 5: return QColor(255, 0, 255);
        case 6: return QColor(0, 255, 255);
        case 7: return QColor(255, 255, 0);
        default: return QColor(255, 255, 255);
    }
}

void TTetro1::paintBlock(QPainter& p, const QRect& r, const QColor& fill) {
    p.fillRect(r, fill);
    const int x0 = r.left(), y0 = r.top(), x1 = r.right(), y1 = r.bottom();
    p.setPen(QColor(255, 255, 255));
    p.drawLine(x0, y0, x1, y0);
    p.drawLine(x1, y0, x1, y1);
    p.setPen(QColor(128, 128, 128));
    p.drawLine(x0, y0, x0, y1);
    p.drawLine(x0, y1, x1, y1);
}

TetrisBoardView::TetrisBoardView(const TetrisGame& game, QWidget* parent) : QFrame(parent), game_(game) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QRect TetrisBoardView::cellRect(int row, int col) {
    // (14 col - 9, 14 row - 8) in the window, less the frame's own place.
    return QRect(kCell * col - 9 - kBoardFrame.left(), kCell * row - 8 - kBoardFrame.top(), kCell, kCell);
}

void TetrisBoardView::refresh() {
    for (int row = 1; row <= TetrisGame::kRows; ++row)
        for (int col = 1; col <= TetrisGame::kCols; ++col) {
            auto& seen = painted_[row - 1][col - 1];
            const int now = game_.cell(row, col);
            if (seen == now) continue;
            seen = static_cast<std::uint8_t>(now);
            update(cellRect(row, col));
        }
}

void TetrisBoardView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(contentsRect(), TTetro1::cellColour(0, palette()));
    for (int row = 1; row <= TetrisGame::kRows; ++row)
        for (int col = 1; col <= TetrisGame::kCols; ++col) {
            const QRect r = cellRect(row, col);
            if (!event->rect().intersects(r)) continue;
            const int v = game_.cell(row, col);
            painted_[row - 1][col - 1] = static_cast<std::uint8_t>(v);
            if (v == 0)
                p.fillRect(r, TTetro1::cellColour(0, palette()));
            else
                TTetro1::paintBlock(p, r, TTetro1::cellColour(v, palette()));
        }
    drawFrame(&p);  // the bevel lies outside every cell
}

TetrisPreview::TetrisPreview(const TetrisGame& game, QWidget* parent) : QWidget(parent), game_(game) {
    setFixedSize(4 * kPreviewCell, 2 * kPreviewCell);
}

void TetrisPreview::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const auto pattern = game_.nextPattern();
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 4; ++c) {
            const QRect cell(c * kPreviewCell, r * kPreviewCell, kPreviewCell, kPreviewCell);
            if (pattern[r][c])
                TTetro1::paintBlock(p, cell, TTetro1::cellColour(pattern[r][c], palette()));
            else
                p.fillRect(cell, palette().color(QPalette::Button));
        }
}

TTetro1::TTetro1(ToolTexts texts, QWidget* parent)
    : QWidget(parent, Qt::Window), texts_(std::move(texts)), game_(clockSeed()) {
    setWindowTitle(texts_("Game", "The tetris"));
    setFixedSize(kClient);
    setFocusPolicy(Qt::StrongFocus);

    Board = new TetrisBoardView(game_, this);
    Board->setGeometry(kBoardFrame);

    auto button = [this](int top, const char* key, const char* english, const char* hint) {
        auto* b = new QPushButton(texts_(key, english), this);
        b->setGeometry(kButtonLeft, top, kButtonWidth, kButtonHeight);
        b->setToolTip(QString::fromUtf8(hint));
        b->setFocusPolicy(Qt::NoFocus);  // the arrows and Space belong to the game
        return b;
    };
    Button1 = button(8, "Start", "&Start", "Start game");
    Button2 = button(38, "Pause", "&Pause", "Pause game");
    Button3 = button(68, "Help", "&Help", "Show help");
    Button4 = button(kClient.height() - 8 - kButtonHeight, "Exit", "&Exit", "Exit program");
    Button2->setEnabled(false);

    Preview = new TetrisPreview(game_, this);
    Preview->move(Button3->x() + kButtonWidth / 4, Button3->geometry().bottom() + 1 + 8);

    auto label = [this](int top, const QString& text) {
        auto* l = new QLabel(text, this);
        l->setGeometry(kButtonLeft, top, kButtonWidth, 16);
        return l;
    };
    label(135, texts_("Level", "Level"));
    LevelValue = label(151, {});
    label(180, texts_("Score", "Score"));
    ScoreValue = label(196, {});
    showState();

    timer_.setInterval(game_.intervalMs());
    connect(&timer_, &QTimer::timeout, this, &TTetro1::Timer1Timer);
    connect(Button1, &QPushButton::clicked, this, &TTetro1::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TTetro1::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TTetro1::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &QWidget::close);
}

void TTetro1::showState() {
    if (game_.level() != shownLevel_) LevelValue->setText(QString::number(shownLevel_ = game_.level()));
    if (game_.score() != shownScore_) ScoreValue->setText(QString::number(shownScore_ = game_.score()));
    Board->refresh();
    Preview->update();
}

void TTetro1::Button1Click() {
    timer_.start();
    Button1->setEnabled(false);
    Button2->setEnabled(true);
    setFocus();
}

void TTetro1::Button2Click() {
    if (timer_.isActive())
        timer_.stop();
    else
        timer_.start();
}

void TTetro1::Button3Click() {
    // The fall waits while the help is read.
    const bool running = timer_.isActive();
    timer_.stop();
    QMessageBox::information(this, windowTitle(),
                             texts_("HelpText",
                                    "Left and Right move the piece, Up turns it, Down or Space drops it.\n"
                                    "Full rows vanish. Escape closes the game."));
    if (running) timer_.start();
}

void TTetro1::Timer1Timer() {
    if (inTimer_) return;
    Busy busy(inTimer_);
    const auto result = game_.tick();
    if (result.landed) timer_.setInterval(game_.intervalMs());
    showState();
    if (!result.gameOver) return;
    timer_.stop();
    Button1->setEnabled(true);
    Button2->setEnabled(false);
    QMessageBox box(QMessageBox::NoIcon, windowTitle(), texts_("GameOver", "Ops! Game over!"),
                    QMessageBox::Ok, this);
    box.exec();
}

void TTetro1::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    if (inKey_ || !game_.pieceInPlay()) {
        QWidget::keyPressEvent(event);
        return;
    }
    Busy busy(inKey_);
    switch (event->key()) {
        case Qt::Key_Left: game_.moveLeft(); break;
        case Qt::Key_Right: game_.moveRight(); break;
        case Qt::Key_Up: game_.rotate(); break;
        case Qt::Key_Down:
        case Qt::Key_Space: game_.drop(); break;
        default: QWidget::keyPressEvent(event); return;
    }
    showState();
}

}  // namespace kv
