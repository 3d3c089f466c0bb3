// The contact quad tree beside a plain grouping of the same contacts by 64-pixel cell (a
// hash map of cells at one zoom), in the same run, for 1 000 to 1 000 000 contacts spread
// over a 10 x 10 degree area: building it, one traversal of an 800 x 480 view, and moving
// one contact (remove and insert again).
//
//   view_quadtree_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <unordered_map>
#include <vector>

#include "RatioReporter.h"
#include "client/view/QuadTree.h"

namespace {

constexpr int ZOOM = 8;  // the whole area is about 1800 x 2600 pixels; the view sees a part
constexpr int SIDE = 256;
constexpr int WIDTH = 800;
constexpr int HEIGHT = 480;

struct Population {
    std::vector<std::shared_ptr<LumoraContact>> contacts;
    std::vector<WorldCoords> places;
    std::vector<QuadTree::Placed> placed;
};

WorldCoords place(double latitude, double longitude) {
    DecimalCoords d;
    d.latitude = latitude;
    d.longitude = longitude;
    return CoordinateUtils::fromDecimal(d);
}

const Population& population(int n) {
    static std::map<int, Population> made;
    Population& p = made[n];
    if (p.contacts.empty()) {
        std::mt19937 random(static_cast<unsigned int>(n));
        std::uniform_real_distribution<double> lat(42.0, 52.0);
        std::uniform_real_distribution<double> lon(5.0, 15.0);
        for (int i = 0; i < n; ++i) {
            auto c = std::make_shared<LumoraContact>();
            c->setStatus(i % 3 == 0 ? LumoraContact::STATUS_OFFLINE : LumoraContact::STATUS_ONLINE);
            p.places.push_back(place(lat(random), lon(random)));
            p.contacts.push_back(c);
            p.placed.push_back({c, p.places.back()});
        }
    }
    return p;
}

MercatorCoords viewCentre() {
    MercatorCoords c;
    CoordinateUtils::worldToMercatorProjectionCoords(ZOOM, place(47.0, 10.0), c, SIDE);
    return c;
}

class NoDrawer : public IDrawContact {
public:
    void draw(const std::shared_ptr<LumoraContact>&, const MercatorCoords&, int, int,
              IDrawContext*) override {}
};
NoDrawer noDrawer;

// ---- The baseline: contacts grouped by 64-pixel cell at one zoom ----

class CellGrid {
public:
    struct Cell {
        std::vector<int> members;
        std::int64_t sumX = 0;
        std::int64_t sumY = 0;
    };
    static std::uint64_t key(std::int64_t cx, std::int64_t cy) {
        return (static_cast<std::uint64_t>(cx) << 32) | static_cast<std::uint32_t>(cy);
    }
    void insert(int id, const WorldCoords& at) {
        MercatorCoords p;
        CoordinateUtils::worldToMercatorProjectionCoords(ZOOM, at, p, SIDE);
        Cell& cell = cells[key(p.x / 64, p.y / 64)];
        cell.members.push_back(id);
        cell.sumX += p.x;
        cell.sumY += p.y;
    }
    void remove(int id, const WorldCoords& at) {
        MercatorCoords p;
        CoordinateUtils::worldToMercatorProjectionCoords(ZOOM, at, p, SIDE);
        Cell& cell = cells[key(p.x / 64, p.y / 64)];
        for (auto it = cell.members.begin(); it != cell.members.end(); ++it) {
            if (*it == id) {
                cell.members.erase(it);
                cell.sumX -= p.x;
                cell.sumY -= p.y;
                break;
            }
        }
    }
    // The groups of the cells a view covers: count and mean position.
    std::size_t traverse(const MercatorCoords& c) const {
        std::size_t groups = 0;
        for (std::int64_t cy = (c.y - HEIGHT / 2) / 64; cy <= (c.y + HEIGHT / 2) / 64; ++cy) {
            for (std::int64_t cx = (c.x - WIDTH / 2) / 64; cx <= (c.x + WIDTH / 2) / 64; ++cx) {
                auto it = cells.find(key(cx, cy));
                if (it != cells.end() && !it->second.members.empty()) {
                    benchmark::DoNotOptimize(it->second.sumX /
                                             static_cast<std::int64_t>(it->second.members.size()));
                    ++groups;
                }
            }
        }
        return groups;
    }
    std::unordered_map<std::uint64_t, Cell> cells;
};

// ---- Building ----

void BM_Build_Lumora(benchmark::State& state) {
    const Population& p = population(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto tree = std::make_unique<QuadTree>();
        tree->init(20, 20, &noDrawer);
        tree->addEllements(p.placed);  // as the drawing thread fills its tree
        benchmark::DoNotOptimize(tree->size());
        state.PauseTiming();  // freeing a million nodes is not building
        tree.reset();
        state.ResumeTiming();
    }
}

void BM_Build_Baseline(benchmark::State& state) {
    const Population& p = population(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        CellGrid grid;
        for (std::size_t i = 0; i < p.places.size(); ++i) {
            grid.insert(static_cast<int>(i), p.places[i]);
        }
        benchmark::DoNotOptimize(grid.cells.size());
    }
}

// ---- One traversal of the view ----

QuadTree& builtTree(int n) {
    static std::map<int, std::unique_ptr<QuadTree>> trees;
    std::unique_ptr<QuadTree>& tree = trees[n];
    if (!tree) {
        tree = std::make_unique<QuadTree>();
        tree->init(20, 20, &noDrawer);
        tree->addEllements(population(n).placed);
    }
    return *tree;
}

CellGrid& builtGrid(int n) {
    static std::map<int, CellGrid> grids;
    CellGrid& grid = grids[n];
    if (grid.cells.empty()) {
        const Population& p = population(n);
        for (std::size_t i = 0; i < p.places.size(); ++i) {
            grid.insert(static_cast<int>(i), p.places[i]);
        }
    }
    return grid;
}

void BM_Traverse_Lumora(benchmark::State& state) {
    QuadTree& tree = builtTree(static_cast<int>(state.range(0)));
    const MercatorCoords c = viewCentre();
    for (auto _ : state) {
        tree.doTraversal(SIDE, ZOOM, c, WIDTH, HEIGHT);
    }
    state.counters["items"] = static_cast<double>(tree.getItems().size());
}

void BM_Traverse_Baseline(benchmark::State& state) {
    const CellGrid& grid = builtGrid(static_cast<int>(state.range(0)));
    const MercatorCoords c = viewCentre();
    std::size_t groups = 0;
    for (auto _ : state) {
        groups = grid.traverse(c);
        benchmark::DoNotOptimize(groups);
    }
    state.counters["items"] = static_cast<double>(groups);
}

// ---- Moving one contact ----

void BM_Reinsert_Lumora(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    QuadTree& tree = builtTree(n);
    const Population& p = population(n);
    const auto& contact = p.contacts[static_cast<std::size_t>(n / 2)];
    WorldCoords from = p.places[static_cast<std::size_t>(n / 2)];
    WorldCoords to = place(47.3, 9.8);
    for (auto _ : state) {
        tree.removeContact(contact, from);
        tree.addEllement(contact, to);
        std::swap(from, to);
    }
}

void BM_Reinsert_Baseline(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    CellGrid& grid = builtGrid(n);
    const Population& p = population(n);
    WorldCoords from = p.places[static_cast<std::size_t>(n / 2)];
    WorldCoords to = place(47.3, 9.8);
    for (auto _ : state) {
        grid.remove(n / 2, from);
        grid.insert(n / 2, to);
        std::swap(from, to);
    }
}

#define SIZES Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)
BENCHMARK(BM_Build_Lumora)->SIZES->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Build_Baseline)->SIZES->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Traverse_Lumora)->SIZES->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Traverse_Baseline)->SIZES->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Reinsert_Lumora)->SIZES->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Reinsert_Baseline)->SIZES->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
