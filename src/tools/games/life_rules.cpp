#include "tools/games/life_rules.h"

namespace kv::games {

namespace {
bool inside(int col, int row) {
    return col >= 0 && col < LifeGrid::kSize && row >= 0 && row < LifeGrid::kSize;
}
}  // namespace

bool LifeGrid::alive(int col, int row) const { return inside(col, row) && cells_[col][row] != 0; }

void LifeGrid::set(int col, int row, bool alive) {
    if (inside(col, row)) cells_[col][row] = alive ? 1 : 0;
}

void LifeGrid::toggle(int col, int row) { set(col, row, !alive(col, row)); }

void LifeGrid::clear() {
    for (auto& column : cells_) column.fill(0);
}

int LifeGrid::population() const {
    int n = 0;
    for (const auto& column : cells_)
        for (auto v : column) n += v;
    return n;
}

void LifeGrid::generate(std::mt19937& rng) {
    std::uniform_int_distribution<int> percent(0, 99);
    for (auto& column : cells_)
        for (auto& v : column) v = percent(rng) < kDensityPercent ? 1 : 0;
}

int LifeGrid::liveNeighbours(int col, int row) const {
    int n = 0;
    for (int dc = -1; dc <= 1; ++dc)
        for (int dr = -1; dr <= 1; ++dr)
            if ((dc || dr) && alive(col + dc, row + dr)) ++n;
    return n;
}

std::vector<LifeGrid::Cell> LifeGrid::step() {
    auto next = cells_;
    std::vector<Cell> changed;
    for (int col = 0; col < kSize; ++col)
        for (int row = 0; row < kSize; ++row) {
            const int n = liveNeighbours(col, row);
            const bool now = cells_[col][row] != 0;
            const bool then = now ? (n == 2 || n == 3) : n == 3;
            next[col][row] = then ? 1 : 0;
            if (then != now) changed.push_back({col, row});
        }
    cells_ = next;
    return changed;
}

}  // namespace kv::games
