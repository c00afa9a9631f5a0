#include "tools/games/tetris_rules.h"

#include <algorithm>
#include <string_view>

namespace kv::games {

namespace {

// Rows 1 and 2 of each base pattern; rows 3 and 4 are empty for all seven.
constexpr std::string_view kShapes[TetrisGame::kPieceCount][2] = {
    {".#..", "###."},  // T
    {"###.", "#..."},  // L
    {"###.", "..#."},  // J
    {"##..", ".##."},  // Z
    {".##.", "##.."},  // S
    {"####", "...."},  // I
    {"##..", "##.."},  // O
};
constexpr int kLandingScores[TetrisGame::kPieceCount] = {10, 30, 30, 25, 25, 15, 20};
constexpr int kDropBonus = 5;

TetrisGame::Pattern coloured(const TetrisGame::Pattern& p, int colour) {
    TetrisGame::Pattern out{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out[r][c] = p[r][c] ? static_cast<std::uint8_t>(colour) : 0;
    return out;
}

}  // namespace

int TetrisGame::Piece::width() const {
    int w = 0;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (cells[r][c]) w = std::max(w, c + 1);
    return w;
}

int TetrisGame::Piece::height() const {
    int h = 0;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (cells[r][c]) h = std::max(h, r + 1);
    return h;
}

TetrisGame::Pattern turnClockwise(const TetrisGame::Pattern& p) {
    TetrisGame::Pattern out{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out[c][3 - r] = p[r][c];
    return out;
}

TetrisGame::Pattern pushUpLeft(const TetrisGame::Pattern& p) {
    int top = 4, left = 4;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (p[r][c]) {
                top = std::min(top, r);
                left = std::min(left, c);
            }
    if (top == 4) return p;
    TetrisGame::Pattern out{};
    for (int r = top; r < 4; ++r)
        for (int c = left; c < 4; ++c) out[r - top][c - left] = p[r][c];
    return out;
}

TetrisGame::TetrisGame(std::uint32_t seed) : rng_(seed) { drawNext(); }

TetrisGame::Pattern TetrisGame::basePattern(int number) {
    Pattern p{};
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 4; ++c) p[r][c] = kShapes[number][r][c] == '#' ? 1 : 0;
    return p;
}

int TetrisGame::landingScore(int number) { return kLandingScores[number]; }

int TetrisGame::levelForScore(int score) {
    constexpr int kAbove[] = {5000, 3000, 2000, 1300, 700, 300};
    for (int i = 0; i < 6; ++i)
        if (score > kAbove[i]) return 7 - i;
    return 1;
}

int TetrisGame::intervalForLevel(int level) { return std::max(110, 710 - 100 * level); }

void TetrisGame::setCell(int row, int col, int value) {
    if (row < 1 || row > kRows || col < 1 || col > kCols) return;
    board_[row - 1][col - 1] = static_cast<std::uint8_t>(value);
}

TetrisGame::Pattern TetrisGame::nextPattern() const {
    return coloured(basePattern(nextNumber_), nextColour_);
}

void TetrisGame::setNext(int number, int colour) {
    nextNumber_ = std::clamp(number, 0, kPieceCount - 1);
    nextColour_ = std::clamp(colour, 1, kColourCount);
}

void TetrisGame::drawNext() {
    nextNumber_ = std::uniform_int_distribution<int>(0, kPieceCount - 1)(rng_);
    nextColour_ = std::uniform_int_distribution<int>(1, kColourCount)(rng_);
}

bool TetrisGame::fits(const Piece& p) const {
    for (int r = 1; r <= 4; ++r)
        for (int c = 1; c <= 4; ++c) {
            if (!p.cells[r - 1][c - 1]) continue;
            const int row = p.rowOffset + r, col = p.colOffset + c;
            if (row < 1 || row > kRows || col < 1 || col > kCols) return false;
            if (cell(row, col)) return false;
        }
    return true;
}

void TetrisGame::write(const Piece& p, bool on) {
    for (int r = 1; r <= 4; ++r)
        for (int c = 1; c <= 4; ++c)
            if (p.cells[r - 1][c - 1])
                board_[p.rowOffset + r - 1][p.colOffset + c - 1] = on ? p.cells[r - 1][c - 1] : 0;
}

void TetrisGame::lift() {
    if (onBoard_) write(current_, false);
    onBoard_ = false;
}

bool TetrisGame::tryMove(Move move) {
    const Piece before = current_;
    const bool wasOnBoard = onBoard_;
    lift();
    Piece moved = current_;
    switch (move) {
        case Move::Fall: ++moved.rowOffset; break;
        case Move::Left: --moved.colOffset; break;
        case Move::Right: ++moved.colOffset; break;
        case Move::Rotate: {
            moved.rotation = moved.rotation == 0 ? 3 : moved.rotation - 1;
            Pattern p = basePattern(moved.number);
            for (int i = 0; i <= moved.rotation; ++i) p = turnClockwise(p);
            moved.cells = coloured(pushUpLeft(p), moved.colour);
            while (moved.colOffset > 0 && moved.colOffset + moved.width() > kCols) --moved.colOffset;
            break;
        }
    }
    if (fits(moved)) {
        current_ = moved;
        write(current_, true);
        onBoard_ = true;
        return true;
    }
    // A blocked turn keeps the old orientation one row higher, when that place is free.
    Piece lifted = before;
    --lifted.rowOffset;
    if (move == Move::Rotate && fits(lifted)) {
        current_ = lifted;
        write(current_, true);
        onBoard_ = true;
        return false;
    }
    current_ = before;
    if (wasOnBoard) {
        write(current_, true);
        onBoard_ = true;
    }
    return false;
}

bool TetrisGame::moveLeft() {
    if (!inPlay_ || current_.colOffset <= 0) return false;
    return tryMove(Move::Left);
}

bool TetrisGame::moveRight() {
    if (!inPlay_ || current_.colOffset + current_.width() > kCols - 1) return false;
    return tryMove(Move::Right);
}

bool TetrisGame::rotate() {
    if (!inPlay_) return false;
    return tryMove(Move::Rotate);
}

void TetrisGame::drop() {
    if (!inPlay_) return;
    while (tryMove(Move::Fall)) {}
    score_ += kDropBonus;
}

void TetrisGame::clearBoard() {
    for (auto& row : board_) row.fill(0);
    onBoard_ = false;
}

int TetrisGame::removeFullRows() {
    // A falling piece is no part of any row; a landed one already belongs to the board.
    const bool lifted = onBoard_;
    lift();
    int removed = 0;
    for (int row = 0; row < kRows; ++row) {
        const bool full =
            std::all_of(board_[row].begin(), board_[row].end(), [](std::uint8_t v) { return v != 0; });
        if (!full) continue;
        for (int r = row; r > 0; --r) board_[r] = board_[r - 1];
        board_[0].fill(0);
        ++removed;
    }
    if (lifted && fits(current_)) {
        write(current_, true);
        onBoard_ = true;
    }
    return removed;
}

TetrisGame::TickResult TetrisGame::tick() {
    TickResult result;
    if (inPlay_) {
        if (!tryMove(Move::Fall)) {
            result.landed = true;
            score_ += landingScore(current_.number);
            level_ = levelForScore(score_);
            intervalMs_ = intervalForLevel(level_);
            inPlay_ = false;
            onBoard_ = false;  // its blocks now belong to the board
        }
    } else {
        Piece p;
        p.number = nextNumber_;
        p.colour = nextColour_;
        p.cells = coloured(basePattern(p.number), p.colour);
        drawNext();
        current_ = p;
        inPlay_ = true;
        result.spawned = true;
        if (fits(current_)) {
            write(current_, true);
            onBoard_ = true;
        } else {
            // The piece that did not fit stays current, off the board, for the next game.
            result.gameOver = true;
            level_ = 1;
            score_ = 0;
            clearBoard();
        }
    }
    result.rowsRemoved = removeFullRows();
    return result;
}

}  // namespace kv::games
