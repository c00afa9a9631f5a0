#pragma once
// The falling-blocks game without its window: the board, the pieces, moves, landing,
// scoring and levels. The window owns the timer and calls tick() at interval(); it
// paints from cell() and the preview from nextPattern().
//
// Board rows and columns count from 1, row 1 at the top. A piece's 4 x 4 pattern also
// counts from 1: pattern cell (r, c) lies on board cell (rowOffset + r, colOffset + c).
//
// The one rule that holds after every call: a piece in play that is on the board lies
// wholly inside it and covers only cells that were empty. A move that cannot be made
// leaves the piece where it was (a blocked turn lifts it one row when that place is free).
#include <array>
#include <cstdint>
#include <random>

namespace kv::games {

class TetrisGame {
public:
    static constexpr int kRows = 23;
    static constexpr int kCols = 12;
    static constexpr int kPieceCount = 7;   // T, L, J, Z, S, I, O
    static constexpr int kColourCount = 7;  // colours 1..7 on the board
    static constexpr int kFirstIntervalMs = 550;

    using Pattern = std::array<std::array<std::uint8_t, 4>, 4>;  // [row][column], 0 = empty

    struct Piece {
        int number = 0;   // 0..6
        int colour = 1;   // 1..7
        Pattern cells{};  // the current orientation, blocks set to colour
        int colOffset = 5;
        int rowOffset = 0;
        int rotation = 3;    // 3 = the base pattern; each turn counts down
        int width() const;   // column of the right-most block, 1..4
        int height() const;  // row of the bottom-most block, 1..4
    };

    struct TickResult {
        bool landed = false;    // the piece could fall no further; its score was added
        bool spawned = false;   // a new piece came into play
        bool gameOver = false;  // the new piece did not fit: board cleared, level 1, score 0
        int rowsRemoved = 0;
    };

    explicit TetrisGame(std::uint32_t seed = std::random_device{}());

    int cell(int row, int col) const { return board_[row - 1][col - 1]; }
    // Puts a settled block (1..7) or empties a cell; the piece in play is not touched.
    void setCell(int row, int col, int value);

    int level() const { return level_; }
    int score() const { return score_; }
    int intervalMs() const { return intervalMs_; }
    bool pieceInPlay() const { return inPlay_; }
    const Piece& current() const { return current_; }
    int nextNumber() const { return nextNumber_; }
    int nextColour() const { return nextColour_; }
    // The preview: the next piece's base pattern in its colour.
    Pattern nextPattern() const;
    // Chooses what the next new piece is (the game draws it at random otherwise).
    void setNext(int number, int colour);

    // Keys; each does nothing when no piece is in play. True when the piece moved.
    bool moveLeft();
    bool moveRight();
    bool rotate();
    void drop();  // falls as far as it can and adds 5; it lands at the next tick

    // One step of the fall timer.
    TickResult tick();

    static Pattern basePattern(int number);
    static int landingScore(int number);
    static int levelForScore(int score);
    static int intervalForLevel(int level);

private:
    enum class Move { Fall, Rotate, Left, Right };
    bool tryMove(Move move);
    bool fits(const Piece& p) const;
    void write(const Piece& p, bool on);
    void lift();
    void drawNext();
    int removeFullRows();
    void clearBoard();

    std::array<std::array<std::uint8_t, kCols>, kRows> board_{};
    Piece current_;
    bool inPlay_ = false;
    bool onBoard_ = false;  // the piece in play is written into board_
    int nextNumber_ = 0;
    int nextColour_ = 1;
    int level_ = 1;
    int score_ = 0;
    int intervalMs_ = kFirstIntervalMs;
    std::mt19937 rng_;
};

// The pattern turned a quarter turn clockwise and pushed up and left to its first block.
TetrisGame::Pattern turnClockwise(const TetrisGame::Pattern& p);
TetrisGame::Pattern pushUpLeft(const TetrisGame::Pattern& p);

}  // namespace kv::games
