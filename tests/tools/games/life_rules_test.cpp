#include "tools/games/life_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

using kv::games::LifeGrid;
using Cells = std::vector<LifeGrid::Cell>;
constexpr int kLast = LifeGrid::kSize - 1;

LifeGrid gridWith(const Cells& live) {
    LifeGrid g;
    for (auto c : live) g.set(c.col, c.row, true);
    return g;
}

// The live cells, column by column.
Cells liveCells(const LifeGrid& g) {
    Cells out;
    for (int col = 0; col < LifeGrid::kSize; ++col)
        for (int row = 0; row < LifeGrid::kSize; ++row)
            if (g.alive(col, row)) out.push_back({col, row});
    return out;
}

Cells sorted(Cells c) {
    std::sort(c.begin(), c.end(),
              [](auto a, auto b) { return a.col != b.col ? a.col < b.col : a.row < b.row; });
    return c;
}

Cells shifted(const Cells& c, int dc, int dr) {
    Cells out;
    for (auto x : c) out.push_back({x.col + dc, x.row + dr});
    return sorted(out);
}

TEST(LifeRules, BlinkerAlternatesAndReportsTheCellsThatChanged) {
    const Cells across = {{10, 20}, {11, 20}, {12, 20}};
    const Cells upright = {{11, 19}, {11, 20}, {11, 21}};
    LifeGrid g = gridWith(across);
    const Cells changed = g.step();
    EXPECT_EQ(liveCells(g), sorted(upright));
    EXPECT_EQ(sorted(changed), sorted({{10, 20}, {12, 20}, {11, 19}, {11, 21}}));
    g.step();
    EXPECT_EQ(liveCells(g), sorted(across));
}

TEST(LifeRules, GliderMovesOneCellDiagonallyEveryFourGenerations) {
    const Cells glider = {{1, 0}, {2, 1}, {0, 2}, {1, 2}, {2, 2}};
    LifeGrid g = gridWith(shifted(glider, 5, 5));
    for (int i = 0; i < 4; ++i) g.step();
    EXPECT_EQ(liveCells(g), shifted(glider, 6, 6));
    for (int i = 0; i < 4; ++i) g.step();
    EXPECT_EQ(liveCells(g), shifted(glider, 7, 7));
}

TEST(LifeRules, BlockStaysInEveryCornerAndTheMiddle) {
    const Cells block = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    for (auto [dc, dr] :
         {std::pair{0, 0}, {kLast - 1, 0}, {0, kLast - 1}, {kLast - 1, kLast - 1}, {20, 30}}) {
        LifeGrid g = gridWith(shifted(block, dc, dr));
        EXPECT_TRUE(g.step().empty()) << dc << "," << dr;
        EXPECT_EQ(liveCells(g), shifted(block, dc, dr)) << dc << "," << dr;
    }
}

// A blinker lying along an edge: the cells beyond count as dead, so it turns into the two
// cells inside (and then dies); on a wrapping grid it would also grow on the far edge.
TEST(LifeRules, CellsBeyondTheEdgeCountAsDead) {
    struct Case {
        const char* edge;
        Cells line;
        Cells after;
    };
    const Case cases[] = {
        {"top", {{9, 0}, {10, 0}, {11, 0}}, {{10, 0}, {10, 1}}},
        {"bottom", {{9, kLast}, {10, kLast}, {11, kLast}}, {{10, kLast - 1}, {10, kLast}}},
        {"left", {{0, 9}, {0, 10}, {0, 11}}, {{0, 10}, {1, 10}}},
        {"right", {{kLast, 9}, {kLast, 10}, {kLast, 11}}, {{kLast - 1, 10}, {kLast, 10}}},
    };
    for (const auto& k : cases) {
        LifeGrid g = gridWith(k.line);
        g.step();
        EXPECT_EQ(liveCells(g), sorted(k.after)) << k.edge;
        g.step();
        EXPECT_EQ(g.population(), 0) << k.edge;
    }
}

TEST(LifeRules, AGliderReachingTheCornerDoesNotComeBackOnTheFarSide) {
    const Cells glider = {{1, 0}, {2, 1}, {0, 2}, {1, 2}, {2, 2}};
    LifeGrid g = gridWith(shifted(glider, 38, 38));
    for (int i = 0; i < 200; ++i) {
        g.step();
        for (auto c : liveCells(g)) {
            ASSERT_GE(c.col, 36) << "generation " << i + 1;
            ASSERT_GE(c.row, 36) << "generation " << i + 1;
        }
    }
    // It ends as a still block in the corner.
    EXPECT_EQ(liveCells(g),
              sorted({{kLast - 1, kLast - 1}, {kLast - 1, kLast}, {kLast, kLast - 1}, {kLast, kLast}}));
}

TEST(LifeRules, EditingOutsideTheGridIsIgnored) {
    LifeGrid g;
    g.toggle(3, 4);
    EXPECT_TRUE(g.alive(3, 4));
    g.toggle(3, 4);
    EXPECT_FALSE(g.alive(3, 4));
    g.set(-1, 0, true);
    g.set(0, LifeGrid::kSize, true);
    g.toggle(LifeGrid::kSize, LifeGrid::kSize);
    EXPECT_EQ(g.population(), 0);
    EXPECT_FALSE(g.alive(-1, 0));
}

TEST(LifeRules, GenerateFillsAboutAQuarterAndClearEmpties) {
    std::mt19937 rng(42);
    LifeGrid g;
    g.generate(rng);
    const int cells = LifeGrid::kSize * LifeGrid::kSize;
    EXPECT_GT(g.population(), cells / 4 - cells / 20);
    EXPECT_LT(g.population(), cells / 4 + cells / 20);
    g.clear();
    EXPECT_EQ(g.population(), 0);
}

}  // namespace
