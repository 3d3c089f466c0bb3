// The tile cache against an SQLite table holding the same tiles, measured in the same run:
// save rate, lookup-and-read latency, the cost of a durable point (the cache's journal
// append, SQLite's commit), the whole index written (shutdown, compaction), the time to
// open, and lookups on one thread while another saves, folds, flushes and compacts (with
// the longest times the cache's locks were held). Both stores are made durable every 20
// saves.
//
//   maps_cache_bench [--benchmark_filter=...]   10 000 and 100 000 tiles of 2 to 30 KiB
//   LUMORA_BENCH_LARGE=1 maps_cache_bench       1 000 000 tiles of 1 to 6 KiB (the data file
//                                               holds at most 4 GiB), slower
//   LUMORA_BENCH_DIR: where the files go
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "SqliteTileStore.h"
#include "client/maps/CacheManager.h"
#include "kestra/TextCodec.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int SAVES_PER_COMMIT = CacheManager::SAVES_PER_FLUSH;
constexpr int LOOKUPS = 20000;
constexpr int CONCURRENT_SAVES = 4000;

bool largeMode() {
    const char* large = std::getenv("LUMORA_BENCH_LARGE");
    return large != nullptr && std::string(large) == "1";
}

struct Latencies {
    double p50 = 0;
    double p99 = 0;
    double p999 = 0;
    double max = 0;
    std::size_t count = 0;
    std::size_t over1ms = 0;
};

struct Figures {
    double savesPerSecond = 0;
    Latencies lookup;
    double durablePointMs = 0;  // median of the saves that were made durable / commits
    double fullIndexMs = 0;     // the whole index written (cache only)
    double openMs = 0;
    Latencies concurrent;  // lookups while another thread writes
    double concurrentSeconds = 0;
    double longestExclusiveUs = 0;
    double exclusiveCount = 0;
    double longestSaveMs = 0;
    double longestLookupWaitUs = 0;
};
std::map<std::string, Figures> results;  // "cache/10000", "sqlite/10000", ...

// Satellite-style names of blocks at level 17 and image sizes of real map tiles (mostly
// incompressible), all derived from the tile's number.
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
    const std::size_t size =
        largeMode() ? 1024 + random() % (5 * 1024) : 2048 + random() % (28 * 1024);
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

double microsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

fs::path freshFolder(const std::string& name) {
    const char* base = std::getenv("LUMORA_BENCH_DIR");
    const fs::path folder = fs::path(base != nullptr ? base : fs::temp_directory_path().string()) /
                            ("lumora-bench-" + name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

Latencies summarise(std::vector<double>& micros) {
    Latencies l;
    if (micros.empty()) {
        return l;
    }
    std::sort(micros.begin(), micros.end());
    l.count = micros.size();
    l.p50 = micros[micros.size() / 2];
    l.p99 = micros[micros.size() * 99 / 100];
    l.p999 = micros[micros.size() * 999 / 1000];
    l.max = micros.back();
    l.over1ms = static_cast<std::size_t>(micros.end() -
                                         std::upper_bound(micros.begin(), micros.end(), 1000.0));
    return l;
}

template <class Find>
void lookUp(int tiles, std::mt19937& random, std::vector<double>& micros, Find find) {
    const int i = static_cast<int>(random() % static_cast<unsigned int>(tiles));
    const auto start = Clock::now();
    const std::size_t size = find(i);
    micros.push_back(microsSince(start));
    if (size == 0) {
        std::fprintf(stderr, "lookup of tile %d failed\n", i);
        std::abort();
    }
}

// Times random lookups of stored tiles.
template <class Find>
Latencies timeLookups(int tiles, Find find) {
    std::mt19937 random(7);
    std::vector<double> micros;
    micros.reserve(LOOKUPS);
    for (int k = 0; k < LOOKUPS; ++k) {
        lookUp(tiles, random, micros, find);
    }
    return summarise(micros);
}

// Looks up stored tiles on this thread for as long as write() runs on another.
template <class Find, class Write>
Latencies lookUpWhileWriting(int tiles, Find find, Write write, double& seconds) {
    std::atomic<bool> done{false};
    const auto start = Clock::now();
    std::thread writer([&]() {
        write();
        done = true;
    });
    std::mt19937 random(11);
    std::vector<double> micros;
    while (!done) {
        lookUp(tiles, random, micros, find);
    }
    writer.join();
    seconds = millisSince(start) / 1000;
    return summarise(micros);
}

MapsDataTypes::ImageBlockProp blockOf(int i) {
    MapsDataTypes::ImageBlockProp block;
    block.name = kestra::utf8ToWide(tileName(i));
    return block;
}

std::size_t findInCache(int i) {
    std::string data;
    CacheManager::findCacheItem(L"google", blockOf(i), L"132", data);
    return data.size();
}

double median(std::vector<double>& values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void benchCache(benchmark::State& state, int tiles) {
    Figures figures;
    for (auto _ : state) {
        const fs::path folder = freshFolder("cache");
        CacheManager::setCachePlace(folder.wstring(), folder.wstring());
        std::vector<double> durable;
        auto start = Clock::now();
        for (int i = 0; i < tiles; ++i) {
            const std::string bytes = tileBytes(i);
            const auto saveStart = Clock::now();
            CacheManager::saveCacheItem(L"google", blockOf(i), L"132", L"png", bytes);
            if (i % SAVES_PER_COMMIT == SAVES_PER_COMMIT - 1) {
                durable.push_back(millisSince(saveStart));  // this save made 20 durable
            }
        }
        figures.savesPerSecond = tiles / (millisSince(start) / 1000.0);
        figures.durablePointMs = median(durable);

        start = Clock::now();
        for (int k = 0; k < 3; ++k) {
            CacheManager::flush();
        }
        figures.fullIndexMs = millisSince(start) / 3;

        CacheManager::shutdown();
        start = Clock::now();
        CacheManager::setCachePlace(folder.wstring(), folder.wstring());
        figures.openMs = millisSince(start);

        figures.lookup = timeLookups(tiles, findInCache);

        // A writer that saves back to back, folds its journal in the background (a fold
        // every 1 000 records), writes the whole index and compacts the cache.
        CacheManager::setJournalLimit(1000);
        CacheManager::lockHoldTimes(true);
        figures.concurrent = lookUpWhileWriting(
            tiles, findInCache,
            [tiles]() {
                for (int i = tiles; i < tiles + CONCURRENT_SAVES; ++i) {
                    CacheManager::saveCacheItem(L"google", blockOf(i), L"132", L"png",
                                                tileBytes(i));
                }
                CacheManager::flush();
                CacheManager::cleanup(3650);
            },
            figures.concurrentSeconds);
        const CacheManager::LockHoldTimes held = CacheManager::lockHoldTimes(true);
        figures.longestExclusiveUs = static_cast<double>(held.longestExclusiveNs) / 1000;
        figures.exclusiveCount = static_cast<double>(held.exclusiveCount);
        figures.longestSaveMs = static_cast<double>(held.longestSaveNs) / 1e6;
        figures.longestLookupWaitUs = static_cast<double>(held.longestLookupWaitNs) / 1000;
        CacheManager::setJournalLimit(0);
        CacheManager::shutdown();
        fs::remove_all(folder);
    }
    results["cache/" + std::to_string(tiles)] = figures;
    state.counters["saves_per_s"] = figures.savesPerSecond;
    state.counters["lookup_p50_us"] = figures.lookup.p50;
    state.counters["open_ms"] = figures.openMs;
    state.counters["concurrent_p999_us"] = figures.concurrent.p999;
    state.counters["concurrent_max_us"] = figures.concurrent.max;
    state.counters["exclusive_longest_us"] = figures.longestExclusiveUs;
    state.counters["lookup_wait_longest_us"] = figures.longestLookupWaitUs;
}

void benchSqlite(benchmark::State& state, int tiles) {
    Figures figures;
    for (auto _ : state) {
        const fs::path folder = freshFolder("sqlite");
        const std::string path = (folder / "tiles.db").string();
        {
            SqliteTileStore store(path, SAVES_PER_COMMIT);
            std::vector<double> durable;
            auto start = Clock::now();
            for (int i = 0; i < tiles; ++i) {
                const std::string bytes = tileBytes(i);
                const auto saveStart = Clock::now();
                store.save("google", tileName(i), "132", "png", bytes);
                if (i % SAVES_PER_COMMIT == SAVES_PER_COMMIT - 1) {
                    durable.push_back(millisSince(saveStart));  // this save committed
                }
            }
            store.commit();
            figures.savesPerSecond = tiles / (millisSince(start) / 1000.0);
            figures.durablePointMs = median(durable);
        }
        auto start = Clock::now();
        SqliteTileStore reopened(path, SAVES_PER_COMMIT);
        std::string first;
        reopened.find("google", tileName(0), "132", first);
        figures.openMs = millisSince(start);

        const auto find = [&reopened](int i) {
            std::string data;
            reopened.find("google", tileName(i), "132", data);
            return data.size();
        };
        figures.lookup = timeLookups(tiles, find);
        figures.concurrent = lookUpWhileWriting(
            tiles, find,
            [&path, tiles]() {
                SqliteTileStore writer(path, SAVES_PER_COMMIT);
                for (int i = tiles; i < tiles + CONCURRENT_SAVES; ++i) {
                    writer.save("google", tileName(i), "132", "png", tileBytes(i));
                }
            },
            figures.concurrentSeconds);
        fs::remove_all(folder);
    }
    results["sqlite/" + std::to_string(tiles)] = figures;
    state.counters["saves_per_s"] = figures.savesPerSecond;
    state.counters["lookup_p50_us"] = figures.lookup.p50;
    state.counters["open_ms"] = figures.openMs;
    state.counters["concurrent_p999_us"] = figures.concurrent.p999;
    state.counters["concurrent_max_us"] = figures.concurrent.max;
}

void printComparison(const std::vector<int>& sizes) {
    std::printf("\n%-8s %-44s %14s %14s %10s\n", "tiles", "measure", "cache", "sqlite",
                "cache/sqlite");
    for (const int tiles : sizes) {
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
        } rows[] = {
            {"saves per second", c.savesPerSecond, s.savesPerSecond},
            {"lookup+read p50 (us)", c.lookup.p50, s.lookup.p50},
            {"lookup+read p99 (us)", c.lookup.p99, s.lookup.p99},
            {"durable point: journal / commit (ms, median)", c.durablePointMs, s.durablePointMs},
            {"whole index written (ms)", c.fullIndexMs, 0},
            {"open (ms)", c.openMs, s.openMs},
            {"with a writer: lookups", static_cast<double>(c.concurrent.count),
             static_cast<double>(s.concurrent.count)},
            {"with a writer: seconds", c.concurrentSeconds, s.concurrentSeconds},
            {"with a writer: lookup p50 (us)", c.concurrent.p50, s.concurrent.p50},
            {"with a writer: lookup p99.9 (us)", c.concurrent.p999, s.concurrent.p999},
            {"with a writer: lookup max (us)", c.concurrent.max, s.concurrent.max},
            {"with a writer: lookups over 1 ms", static_cast<double>(c.concurrent.over1ms),
             static_cast<double>(s.concurrent.over1ms)},
            {"index lock held alone: longest (us)", c.longestExclusiveUs, 0},
            {"index lock held alone: times", c.exclusiveCount, 0},
            {"a lookup waited for the index lock: longest (us)", c.longestLookupWaitUs, 0},
            {"writers' lock held by a save: longest (ms)", c.longestSaveMs, 0},
        };
        for (const auto& row : rows) {
            std::printf("%-8d %-44s %14.2f %14.2f %10.2f\n", tiles, row.name, row.cache, row.sqlite,
                        row.sqlite != 0 ? row.cache / row.sqlite : 0.0);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<int> sizes =
        largeMode() ? std::vector<int>{1000000} : std::vector<int>{10000, 100000};
    for (const int tiles : sizes) {
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
    printComparison(sizes);
    return 0;
}
