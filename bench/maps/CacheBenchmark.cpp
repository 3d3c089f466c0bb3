// The tile cache against an SQLite table holding the same tiles, measured in the same run:
// save rate, lookup-and-read latency (median and 99th percentile), index flush time and
// index load time at start-up, for 10 000 and 100 000 tiles. Both stores are made durable
// every 20 saves (the cache writes its index, SQLite commits).
//
//   maps_cache_bench [--benchmark_filter=...]   (LUMORA_BENCH_DIR: where the files go)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "SqliteTileStore.h"
#include "client/maps/CacheManager.h"
#include "kestra/TextCodec.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int SAVES_PER_COMMIT = CacheManager::SAVES_PER_FLUSH;
constexpr int LOOKUPS = 20000;

struct Figures {
    double savesPerSecond = 0;
    double lookupMedianUs = 0;
    double lookupP99Us = 0;
    double flushMs = 0;
    double loadMs = 0;
};
std::map<std::string, Figures> results;  // "cache/10000", "sqlite/10000", ...

// Satellite-style names of blocks at level 17 and image sizes of real map tiles (2 to 30
// KiB, mostly incompressible), all derived from the tile's number.
std::string tileName(int i) {
    std::string name = "&t=t";
    unsigned int x = static_cast<unsigned int>(i) * 2654435761u;
    for (int level = 0; level < 16; ++level) {
        name.push_back("qrts"[(x >> (level * 2 % 30)) & 3]);
        x = x * 1664525u + 1013904223u + static_cast<unsigned int>(level);
    }
    return name + std::to_string(i);
}

std::string tileBytes(int i) {
    std::mt19937 random(static_cast<unsigned int>(i));
    const std::size_t size = 2048 + random() % (28 * 1024);
    std::string data(size, '\0');
    for (std::size_t k = 0; k + 4 <= size; k += 4) {
        const std::uint32_t v = random();
        std::memcpy(&data[k], &v, 4);
    }
    return data;
}

double millisSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

fs::path freshFolder(const std::string& name) {
    const char* base = std::getenv("LUMORA_BENCH_DIR");
    const fs::path folder = fs::path(base != nullptr ? base : fs::temp_directory_path().string()) /
                            ("lumora-bench-" + name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

// Times `lookups` random lookups of stored tiles; fills the median and 99th percentile.
template <class Find>
void timeLookups(int tiles, Figures& figures, Find find) {
    std::mt19937 random(7);
    std::vector<double> micros;
    micros.reserve(LOOKUPS);
    for (int k = 0; k < LOOKUPS; ++k) {
        const int i = static_cast<int>(random() % static_cast<unsigned int>(tiles));
        const auto start = Clock::now();
        const std::size_t size = find(i);
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        if (size == 0) {
            std::fprintf(stderr, "lookup of tile %d failed\n", i);
            std::abort();
        }
    }
    std::sort(micros.begin(), micros.end());
    figures.lookupMedianUs = micros[micros.size() / 2];
    figures.lookupP99Us = micros[micros.size() * 99 / 100];
}

MapsDataTypes::ImageBlockProp blockOf(int i) {
    MapsDataTypes::ImageBlockProp block;
    block.name = kestra::utf8ToWide(tileName(i));
    return block;
}

void benchCache(benchmark::State& state, int tiles) {
    Figures figures;
    for (auto _ : state) {
        const fs::path folder = freshFolder("cache");
        CacheManager::setCachePlace(folder.wstring(), folder.wstring());
        auto start = Clock::now();
        for (int i = 0; i < tiles; ++i) {
            CacheManager::saveCacheItem(L"google", blockOf(i), L"132", L"png", tileBytes(i));
        }
        CacheManager::flush();
        figures.savesPerSecond = tiles / (millisSince(start) / 1000.0);

        start = Clock::now();
        for (int k = 0; k < 5; ++k) {
            CacheManager::flush();
        }
        figures.flushMs = millisSince(start) / 5;

        CacheManager::shutdown();
        start = Clock::now();
        CacheManager::setCachePlace(folder.wstring(), folder.wstring());
        figures.loadMs = millisSince(start);

        timeLookups(tiles, figures, [](int i) {
            std::string data;
            CacheManager::findCacheItem(L"google", blockOf(i), L"132", data);
            return data.size();
        });
        CacheManager::shutdown();
        fs::remove_all(folder);
    }
    results["cache/" + std::to_string(tiles)] = figures;
    state.counters["saves_per_s"] = figures.savesPerSecond;
    state.counters["lookup_median_us"] = figures.lookupMedianUs;
    state.counters["lookup_p99_us"] = figures.lookupP99Us;
    state.counters["flush_ms"] = figures.flushMs;
    state.counters["load_ms"] = figures.loadMs;
}

void benchSqlite(benchmark::State& state, int tiles) {
    Figures figures;
    for (auto _ : state) {
        const fs::path folder = freshFolder("sqlite");
        const std::string path = (folder / "tiles.db").string();
        {
            SqliteTileStore store(path, SAVES_PER_COMMIT);
            auto start = Clock::now();
            for (int i = 0; i < tiles; ++i) {
                store.save("google", tileName(i), "132", "png", tileBytes(i));
            }
            store.commit();
            figures.savesPerSecond = tiles / (millisSince(start) / 1000.0);

            // What the cache's flush stands for: making the last 20 saves durable.
            store.setSavesPerCommit(SAVES_PER_COMMIT + 1);
            for (int k = 0; k < 5; ++k) {
                for (int i = 0; i < SAVES_PER_COMMIT; ++i) {
                    store.save("google", tileName(i), "133", "png", tileBytes(i));
                }
                const auto commitStart = Clock::now();
                store.commit();
                figures.flushMs += millisSince(commitStart) / 5;
            }
        }
        auto start = Clock::now();
        SqliteTileStore reopened(path, SAVES_PER_COMMIT);
        std::string first;
        reopened.find("google", tileName(0), "132", first);
        figures.loadMs = millisSince(start);

        timeLookups(tiles, figures, [&](int i) {
            std::string data;
            reopened.find("google", tileName(i), "132", data);
            return data.size();
        });
        fs::remove_all(folder);
    }
    results["sqlite/" + std::to_string(tiles)] = figures;
    state.counters["saves_per_s"] = figures.savesPerSecond;
    state.counters["lookup_median_us"] = figures.lookupMedianUs;
    state.counters["lookup_p99_us"] = figures.lookupP99Us;
    state.counters["flush_ms"] = figures.flushMs;
    state.counters["load_ms"] = figures.loadMs;
}

void printComparison() {
    std::printf("\n%-8s %-22s %14s %14s %10s\n", "tiles", "measure", "cache", "sqlite",
                "cache/sqlite");
    for (const int tiles : {10000, 100000}) {
        const auto cache = results.find("cache/" + std::to_string(tiles));
        const auto sqlite = results.find("sqlite/" + std::to_string(tiles));
        if (cache == results.end() || sqlite == results.end()) {
            continue;
        }
        const Figures& c = cache->second;
        const Figures& s = sqlite->second;
        const struct {
            const char* name;
            double cache;
            double sqlite;
        } rows[] = {{"saves per second", c.savesPerSecond, s.savesPerSecond},
                    {"lookup median (us)", c.lookupMedianUs, s.lookupMedianUs},
                    {"lookup p99 (us)", c.lookupP99Us, s.lookupP99Us},
                    {"flush / commit (ms)", c.flushMs, s.flushMs},
                    {"load at start (ms)", c.loadMs, s.loadMs}};
        for (const auto& row : rows) {
            std::printf("%-8d %-22s %14.2f %14.2f %10.2f\n", tiles, row.name, row.cache, row.sqlite,
                        row.sqlite != 0 ? row.cache / row.sqlite : 0.0);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    for (const int tiles : {10000, 100000}) {
        benchmark::RegisterBenchmark(("cache/" + std::to_string(tiles)).c_str(), benchCache, tiles)
            ->Iterations(1)
            ->Unit(benchmark::kSecond);
        benchmark::RegisterBenchmark(("sqlite/" + std::to_string(tiles)).c_str(), benchSqlite,
                                     tiles)
            ->Iterations(1)
            ->Unit(benchmark::kSecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printComparison();
    return 0;
}
