#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

// Prints, after the usual table, each measured case's time divided by its baseline's: a
// benchmark named "Name_Lumora/args" is compared with "Name_Baseline/args" of the same run
// (both in the same time unit). The ratio is of CPU times: on a shared machine the wall
// times include the waits for the processor.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration) {
                times_[run.benchmark_name()] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime(),
                                                benchmark::GetTimeUnitString(run.time_unit)};
            }
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nLumora beside its baseline in this run (CPU time; wall time in brackets)\n");
        for (const auto& [name, time] : times_) {
            const std::size_t at = name.find("_Lumora");
            if (at == std::string::npos) {
                continue;
            }
            const std::string baseline = name.substr(0, at) + "_Baseline" + name.substr(at + 7);
            auto it = times_.find(baseline);
            if (it == times_.end() || it->second.cpu <= 0) {
                continue;
            }
            const Times& b = it->second;
            std::printf("%-40s %9.3f %s [%9.3f]  baseline %9.3f %s [%9.3f]  ratio %.2f\n",
                        name.c_str(), time.cpu, time.unit, time.real, b.cpu, b.unit, b.real,
                        time.cpu / b.cpu);
        }
    }

private:
    struct Times {
        double real;
        double cpu;
        const char* unit;
    };
    std::map<std::string, Times> times_;
};
