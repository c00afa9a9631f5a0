#pragma once
// Conway's Life on a fixed 48 x 48 grid without its window. Cells beyond the edge count as
// dead: the grid does not wrap, so a glider leaving it is gone, not back on the far side.
#include <array>
#include <cstdint>
#include <random>
#include <vector>

namespace kv::games {

class LifeGrid {
public:
    static constexpr int kSize = 48;
    static constexpr int kDensityPercent = 25;  // share of live cells after generate()

    struct Cell {
        int col;
        int row;
        bool operator==(const Cell&) const = default;
    };

    // Columns and rows count from 0; outside the grid every cell is dead.
    bool alive(int col, int row) const;
    void set(int col, int row, bool alive);
    void toggle(int col, int row);
    void clear();
    int population() const;

    // Each cell alive with a chance of one in four.
    void generate(std::mt19937& rng);

    // The next generation, computed wholly from this one; returns the cells that changed.
    std::vector<Cell> step();

private:
    int liveNeighbours(int col, int row) const;
    std::array<std::array<std::uint8_t, kSize>, kSize> cells_{};  // [col][row]
};

}  // namespace kv::games
