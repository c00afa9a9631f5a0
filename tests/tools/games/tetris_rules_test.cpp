#include "tools/games/tetris_rules.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using kv::games::TetrisGame;

enum Piece { T = 0, L = 1, J = 2, Z = 3, S = 4, I = 5, O = 6 };
constexpr int kColour = 4;
constexpr int kSettled = 2;

// Brings `number` into play at its spawn place.
void spawn(TetrisGame& g, int number) {
    g.setNext(number, kColour);
    const auto r = g.tick();
    ASSERT_TRUE(r.spawned);
    ASSERT_FALSE(r.gameOver);
}

// Settles blocks on every cell of `row` except columns first..last.
void fillRowExcept(TetrisGame& g, int row, int first, int last) {
    for (int c = 1; c <= TetrisGame::kCols; ++c)
        if (c < first || c > last) g.setCell(row, c, kSettled);
}

// The piece's orientation as text rows, trailing empty columns and rows left out.
std::vector<std::string> shape(const TetrisGame::Piece& p) {
    std::vector<std::string> rows;
    for (int r = 0; r < p.height(); ++r) {
        std::string s;
        for (int c = 0; c < p.width(); ++c) s += p.cells[r][c] ? '#' : '.';
        rows.push_back(s);
    }
    return rows;
}

// Every block of the piece in play lies on the board and is painted there.
::testing::AssertionResult pieceOnBoard(const TetrisGame& g) {
    const auto& p = g.current();
    for (int r = 1; r <= 4; ++r)
        for (int c = 1; c <= 4; ++c) {
            if (!p.cells[r - 1][c - 1]) continue;
            const int row = p.rowOffset + r, col = p.colOffset + c;
            if (row < 1 || row > TetrisGame::kRows || col < 1 || col > TetrisGame::kCols)
                return ::testing::AssertionFailure()
                       << "block outside the board at row " << row << " column " << col;
            if (g.cell(row, col) != p.colour)
                return ::testing::AssertionFailure()
                       << "block not painted at row " << row << " column " << col;
        }
    return ::testing::AssertionSuccess();
}

int occupied(const TetrisGame& g) {
    int n = 0;
    for (int r = 1; r <= TetrisGame::kRows; ++r)
        for (int c = 1; c <= TetrisGame::kCols; ++c) n += g.cell(r, c) != 0;
    return n;
}

TEST(TetrisRules, NewPieceStartsAtRowOneColumnsSixToNine) {
    TetrisGame g(1);
    EXPECT_EQ(g.intervalMs(), 550);
    EXPECT_FALSE(g.pieceInPlay());
    spawn(g, T);
    EXPECT_TRUE(g.pieceInPlay());
    EXPECT_EQ(g.current().colOffset, 5);
    EXPECT_EQ(g.current().rowOffset, 0);
    EXPECT_EQ(g.current().rotation, 3);
    EXPECT_EQ(g.cell(1, 7), kColour);
    for (int c : {6, 7, 8}) EXPECT_EQ(g.cell(2, c), kColour);
    EXPECT_EQ(g.cell(1, 6), 0);
    EXPECT_EQ(occupied(g), 4);
}

TEST(TetrisRules, BasePatternsAndTheirScores) {
    const std::vector<std::vector<std::string>> shapes = {{".#.", "###"}, {"###", "#.."}, {"###", "..#"},
                                                          {"##.", ".##"}, {".##", "##."}, {"####"},
                                                          {"##", "##"}};
    const int scores[] = {10, 30, 30, 25, 25, 15, 20};
    for (int n = 0; n < TetrisGame::kPieceCount; ++n) {
        TetrisGame g(1);
        spawn(g, n);
        EXPECT_EQ(shape(g.current()), shapes[n]) << "piece " << n;
        EXPECT_EQ(TetrisGame::landingScore(n), scores[n]) << "piece " << n;
    }
}

// One row per case: the rows left open, the piece and how it gets there, and what the
// landing leaves. A marker block above the full rows shows how far the rest moved down.
struct ClearCase {
    const char* name;
    int piece;
    int turns;                // Up presses
    int shift;                // + right, - left
    int openFirst, openLast;  // columns left open in the prepared rows
    int firstRow;             // prepared rows firstRow..23
    bool dropIt;              // Down/Space, or let the timer bring it down
    int rowsRemoved;
    int score;
    int markerRowAfter;  // the marker sits in column 3, just above the prepared rows
};

class TetrisClearing : public ::testing::TestWithParam<ClearCase> {};

TEST_P(TetrisClearing, RemovesFullRowsAndScoresOnlyTheLanding) {
    const ClearCase& k = GetParam();
    TetrisGame g(7);
    for (int row = k.firstRow; row <= TetrisGame::kRows; ++row)
        fillRowExcept(g, row, k.openFirst, k.openLast);
    const int markerRow = k.firstRow - 1;
    g.setCell(markerRow, 3, 7);
    spawn(g, k.piece);
    for (int i = 0; i < k.turns; ++i) ASSERT_TRUE(g.rotate());
    for (int i = 0; i < k.shift; ++i) ASSERT_TRUE(g.moveRight());
    for (int i = 0; i < -k.shift; ++i) ASSERT_TRUE(g.moveLeft());
    TetrisGame::TickResult landing;
    if (k.dropIt) {
        g.drop();
        landing = g.tick();
    } else {
        for (int i = 0; i < 40 && !landing.landed; ++i) {
            landing = g.tick();
            ASSERT_TRUE(pieceOnBoard(g) || landing.landed);
        }
    }
    ASSERT_TRUE(landing.landed);
    EXPECT_EQ(landing.rowsRemoved, k.rowsRemoved);
    EXPECT_EQ(g.score(), k.score);
    EXPECT_FALSE(g.pieceInPlay());
    EXPECT_EQ(g.cell(k.markerRowAfter, 3), 7);
    if (k.markerRowAfter != markerRow) {
        EXPECT_EQ(g.cell(markerRow, 3), 0);
    }
    // What was removed is gone: nothing above the marker's new row but row 1's emptiness.
    for (int c = 1; c <= TetrisGame::kCols; ++c) EXPECT_EQ(g.cell(1, c), 0);
    // The next tick brings the next piece and removes nothing more.
    const auto next = g.tick();
    EXPECT_TRUE(next.spawned);
    EXPECT_EQ(next.rowsRemoved, 0);
    EXPECT_EQ(g.score(), k.score);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TetrisClearing,
    ::testing::Values(ClearCase{"IFillsOneRow", I, 0, 0, 6, 9, 23, true, 1, 5 + 15, 23},
                      ClearCase{"OFillsTwoRowsAtTheRightWall", O, 0, 5, 11, 12, 22, true, 2, 5 + 20, 23},
                      ClearCase{"UprightIFillsFourRowsAtTheLeftWall", I, 1, -5, 1, 1, 20, true, 4, 5 + 15,
                                23},
                      ClearCase{"FallingByTheTimerGivesNoDropBonus", O, 0, 5, 11, 12, 22, false, 2, 20, 23},
                      ClearCase{"AGapLeftOpenRemovesNothing", O, 0, 4, 11, 12, 22, true, 0, 5 + 20, 21}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TetrisRules, LevelsAndIntervalsFollowTheScore) {
    const std::pair<int, int> levels[] = {{0, 1},    {300, 1},  {301, 2},  {700, 2},  {701, 3},
                                          {1300, 3}, {1301, 4}, {2000, 4}, {2001, 5}, {3000, 5},
                                          {3001, 6}, {5000, 6}, {5001, 7}, {99999, 7}};
    for (auto [score, level] : levels) EXPECT_EQ(TetrisGame::levelForScore(score), level) << score;
    const int intervals[] = {610, 510, 410, 310, 210, 110, 110};
    for (int level = 1; level <= 7; ++level)
        EXPECT_EQ(TetrisGame::intervalForLevel(level), intervals[level - 1]);
}

TEST(TetrisRules, TheIntervalChangesOnlyWhenAPieceLands) {
    TetrisGame g(3);
    spawn(g, O);
    g.drop();
    EXPECT_EQ(g.intervalMs(), 550);
    ASSERT_TRUE(g.tick().landed);
    EXPECT_EQ(g.intervalMs(), 610);
}

TEST(TetrisRules, UpTurnsAQuarterTurnCounterClockwiseAndBackAfterFour) {
    TetrisGame g(1);
    spawn(g, T);
    ASSERT_TRUE(g.rotate());
    EXPECT_EQ(g.current().rotation, 2);
    EXPECT_EQ(shape(g.current()), (std::vector<std::string>{".#", "##", ".#"}));
    ASSERT_TRUE(g.rotate());
    EXPECT_EQ(shape(g.current()), (std::vector<std::string>{"###", ".#."}));
    ASSERT_TRUE(g.rotate());
    EXPECT_EQ(shape(g.current()), (std::vector<std::string>{"#.", "##", "#."}));
    ASSERT_TRUE(g.rotate());
    EXPECT_EQ(g.current().rotation, 3);
    EXPECT_EQ(shape(g.current()), (std::vector<std::string>{".#.", "###"}));
    EXPECT_TRUE(pieceOnBoard(g));
    EXPECT_EQ(occupied(g), 4);
}

TEST(TetrisRules, WallsStopSidewaysMoves) {
    TetrisGame g(1);
    spawn(g, I);
    int moves = 0;
    while (g.moveRight()) ++moves;
    EXPECT_EQ(moves, 3);
    EXPECT_EQ(g.current().colOffset, 8);  // its right end in column 12
    EXPECT_EQ(g.cell(1, 12), kColour);
    while (g.moveLeft()) {}
    EXPECT_EQ(g.current().colOffset, 0);
    EXPECT_EQ(g.cell(1, 1), kColour);
    EXPECT_EQ(occupied(g), 4);
}

TEST(TetrisRules, SettledBlocksStopSidewaysMoves) {
    TetrisGame g(1);
    g.setCell(1, 10, kSettled);
    spawn(g, I);  // columns 6..9
    EXPECT_FALSE(g.moveRight());
    EXPECT_EQ(g.current().colOffset, 5);
    EXPECT_TRUE(pieceOnBoard(g));
    EXPECT_EQ(g.cell(1, 10), kSettled);
}

TEST(TetrisRules, TurningAtTheRightWallPushesThePieceBackInside) {
    TetrisGame g(1);
    spawn(g, I);
    ASSERT_TRUE(g.rotate());  // upright, one column wide
    while (g.moveRight()) {}
    EXPECT_EQ(g.current().colOffset, 11);
    ASSERT_TRUE(g.rotate());  // lying again: four wide
    EXPECT_EQ(g.current().colOffset, 8);
    for (int c = 9; c <= 12; ++c) EXPECT_EQ(g.cell(1 + g.current().rowOffset, c), kColour);
    EXPECT_TRUE(pieceOnBoard(g));
    EXPECT_EQ(occupied(g), 4);
}

TEST(TetrisRules, ABlockedTurnKeepsTheOrientationOneRowHigher) {
    TetrisGame g(1);
    spawn(g, I);
    g.tick();
    g.tick();  // rows 3, columns 6..9
    ASSERT_EQ(g.current().rowOffset, 2);
    g.setCell(5, 6, kSettled);  // where the upright I would reach
    const auto before = shape(g.current());
    EXPECT_FALSE(g.rotate());
    EXPECT_EQ(shape(g.current()), before);
    EXPECT_EQ(g.current().rotation, 3);
    EXPECT_EQ(g.current().rowOffset, 1);
    EXPECT_TRUE(pieceOnBoard(g));
    EXPECT_EQ(occupied(g), 5);
}

TEST(TetrisRules, TurningOnTheFloorLiftsInsteadOfSinkingThroughIt) {
    TetrisGame g(1);
    spawn(g, I);
    g.drop();
    ASSERT_EQ(g.current().rowOffset, 22);
    EXPECT_FALSE(g.rotate());  // upright it would reach row 26
    EXPECT_EQ(g.current().rowOffset, 21);
    EXPECT_EQ(shape(g.current()), (std::vector<std::string>{"####"}));
    EXPECT_TRUE(pieceOnBoard(g));
    for (int c = 1; c <= TetrisGame::kCols; ++c) EXPECT_EQ(g.cell(23, c), 0);
}

TEST(TetrisRules, ABlockedTurnAtTheTopNeverLiftsThePieceOffTheBoard) {
    TetrisGame g(1);
    g.setCell(2, 6, kSettled);
    spawn(g, I);  // row 1; there is no row above to lift it to
    EXPECT_FALSE(g.rotate());
    EXPECT_EQ(g.current().rowOffset, 0);
    EXPECT_TRUE(pieceOnBoard(g));
    EXPECT_EQ(occupied(g), 5);
}

TEST(TetrisRules, ABlockedTurnStaysPutWhenTheRowAboveIsTaken) {
    TetrisGame g(1);
    spawn(g, I);
    g.tick();
    g.tick();
    g.setCell(5, 6, kSettled);  // blocks the turn
    g.setCell(2, 9, kSettled);  // blocks the lift
    EXPECT_FALSE(g.rotate());
    EXPECT_EQ(g.current().rowOffset, 2);
    EXPECT_TRUE(pieceOnBoard(g));
    EXPECT_EQ(g.cell(2, 9), kSettled);
    EXPECT_EQ(g.cell(5, 6), kSettled);
}

TEST(TetrisRules, KeysDoNothingWithoutAPieceInPlay) {
    TetrisGame g(1);
    EXPECT_FALSE(g.moveLeft());
    EXPECT_FALSE(g.rotate());
    g.drop();
    EXPECT_EQ(g.score(), 0);
    EXPECT_EQ(occupied(g), 0);
}

TEST(TetrisRules, GameOverClearsTheBoardAndKeepsThePieceForTheNextGame) {
    TetrisGame g(5);
    spawn(g, O);
    g.drop();
    ASSERT_TRUE(g.tick().landed);
    ASSERT_EQ(g.score(), 25);
    g.setCell(1, 7, kSettled);  // where the next T's top block goes
    g.setNext(T, 6);
    const auto r = g.tick();
    EXPECT_TRUE(r.gameOver);
    EXPECT_EQ(g.score(), 0);
    EXPECT_EQ(g.level(), 1);
    EXPECT_EQ(g.intervalMs(), 610);  // unchanged until the next landing
    EXPECT_EQ(occupied(g), 0);
    EXPECT_TRUE(g.pieceInPlay());
    EXPECT_EQ(g.current().number, T);
    // The next game goes on with that piece, one row down.
    const auto first = g.tick();
    EXPECT_FALSE(first.gameOver);
    EXPECT_FALSE(first.spawned);
    EXPECT_EQ(g.current().rowOffset, 1);
    EXPECT_TRUE(pieceOnBoard(g));
    EXPECT_EQ(occupied(g), 4);
}

TEST(TetrisRules, AFullStackEndsTheGame) {
    TetrisGame g(11);
    bool over = false;
    int ticks = 0;
    // O pieces dropped in the middle pile up until the next one cannot come in.
    while (!over && ticks < 1000) {
        if (g.pieceInPlay()) g.drop();
        g.setNext(O, 3);
        over = g.tick().gameOver;
        ++ticks;
    }
    ASSERT_TRUE(over);
    EXPECT_EQ(occupied(g), 0);
    EXPECT_EQ(g.score(), 0);
}

// Random play: whatever the keys and ticks, a piece in play lies wholly on the board and
// covers only its own cells (after a game over the board is empty and it waits off it).
TEST(TetrisRules, RandomPlayNeverPutsAPieceOutsideTheBoard) {
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
        TetrisGame g(seed);
        std::mt19937 keys(seed * 7919u);
        std::uniform_int_distribution<int> pick(0, 9);
        for (int step = 0; step < 3000; ++step) {
            switch (pick(keys)) {
                case 0:
                case 1: g.moveLeft(); break;
                case 2:
                case 3: g.moveRight(); break;
                case 4:
                case 5:
                case 6: g.rotate(); break;
                case 7: g.drop(); break;
                default: g.tick(); break;
            }
            if (!g.pieceInPlay()) continue;
            if (occupied(g) == 0) continue;  // the piece waiting after a game over
            ASSERT_TRUE(pieceOnBoard(g)) << "seed " << seed << " step " << step;
        }
    }
}

}  // namespace
