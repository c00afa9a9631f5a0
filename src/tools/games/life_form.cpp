#include "tools/games/life_form.h"

#include <QMenuBar>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <chrono>

namespace kv {

namespace {
constexpr QSize kClient(363, 318);
constexpr int kIntervalMs = 200;
const QColor kLive(128, 128, 128);
const QColor kGridLine(255, 255, 255);
}  // namespace

LifeView::LifeView(games::LifeGrid& grid, QWidget* parent) : QWidget(parent), grid_(grid) {
    setFixedSize(kClient);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QRect LifeView::cellRect(int col, int row) {
    return QRect(col * kPitch + 1, row * kPitch + 1, kPitch - 1, kPitch - 1);
}

QPoint LifeView::cellAt(const QPoint& pos) {
    if (pos.x() < 0 || pos.y() < 0) return {-1, -1};
    const int col = pos.x() / kPitch, row = pos.y() / kPitch;
    if (col >= kShownCols || row >= kShownRows) return {-1, -1};
    return {col, row};
}

void LifeView::refreshCells(const std::vector<games::LifeGrid::Cell>& cells) {
    for (const auto& c : cells)
        if (c.col < kShownCols && c.row < kShownRows) update(cellRect(c.col, c.row));
}

void LifeView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const QColor dead = palette().color(QPalette::Button);
    p.fillRect(event->rect(), dead);
    p.fillRect(QRect(0, 0, kShownCols * kPitch + 1, kShownRows * kPitch + 1) & event->rect(), kGridLine);
    for (int col = 0; col < kShownCols; ++col)
        for (int row = 0; row < kShownRows; ++row) {
            const QRect r = cellRect(col, row);
            if (event->rect().intersects(r)) p.fillRect(r, grid_.alive(col, row) ? kLive : dead);
        }
}

void LifeView::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton ? cellAt(event->position().toPoint()) : QPoint(-1, -1);
}

void LifeView::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint cell = cellAt(event->position().toPoint());
    const bool same = event->button() == Qt::LeftButton && cell.x() >= 0 && cell == pressed_;
    pressed_ = {-1, -1};
    if (!same) return;
    grid_.toggle(cell.x(), cell.y());
    update(cellRect(cell.x(), cell.y()));
}

TFormLife::TFormLife(ToolTexts texts, QWidget* parent)
    : QMainWindow(parent, Qt::Window),
      texts_(std::move(texts)),
      rng_(static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count())) {
    steps_ = 0;
    stepWord_ = texts_("Step", "Step");
    setWindowTitle(texts_("Game", "Life game"));

    QMenu* menu = menuBar()->addMenu(texts_("Menu", "&Game"));
    auto item = [&](const char* key, const char* english, QKeySequence keys, void (TFormLife::*slot)()) {
        QAction* a = menu->addAction(texts_(key, english));
        a->setShortcut(keys);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    Generate1 = item("Generate", "&Generate", QKeySequence(Qt::CTRL | Qt::Key_G), &TFormLife::Generate1Click);
    Run1 = item("Run", "&Run", QKeySequence(Qt::CTRL | Qt::Key_R), &TFormLife::Run1Click);
    Stop1 = item("Stop", "&Stop", QKeySequence(Qt::CTRL | Qt::Key_S), &TFormLife::Stop1Click);
    Clear1 = item("Clear", "&Clear", {}, &TFormLife::Clear1Click);
    OneStep1 = item("OneStep", "One Ste&p", QKeySequence(Qt::CTRL | Qt::Key_P), &TFormLife::OneStep1Click);
    ResetSteps1 = item("resetsteps", "R&eset steps", {}, &TFormLife::ResetSteps1Click);
    menu->addSeparator();
    Exit1 = menu->addAction(texts_("Exit", "E&xit"));
    connect(Exit1, &QAction::triggered, this, &QWidget::close);
    Stop1->setEnabled(false);

    View = new LifeView(grid_, this);
    setCentralWidget(View);
    adjustSize();
    setFixedSize(size());  // not resizable

    timer_.setInterval(kIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &TFormLife::Timer1Timer);
}

void TFormLife::Generate1Click() {
    grid_.generate(rng_);
    View->update();
}

void TFormLife::Run1Click() {
    timer_.start();
    Run1->setEnabled(false);
    Stop1->setEnabled(true);
}

void TFormLife::Stop1Click() {
    timer_.stop();
    Run1->setEnabled(true);
    Stop1->setEnabled(false);
}

void TFormLife::Clear1Click() {
    Stop1Click();
    grid_.clear();
    View->update();
}

void TFormLife::OneStep1Click() {
    if (timer_.isActive()) Stop1Click();
    Timer1Timer();
}

void TFormLife::ResetSteps1Click() {
    steps_ = 0;
    setWindowTitle({});
}

void TFormLife::Timer1Timer() {
    ++steps_;
    setWindowTitle(stepWord_ + QStringLiteral(" - ") + QString::number(steps_));
    View->refreshCells(grid_.step());
}

}  // namespace kv
