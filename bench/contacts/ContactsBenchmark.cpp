// The contact store and the chat history against a baseline in the same run: SQLite
// holding the same data (synchronous writes off on both sides; neither forces the disk).
// Loads 1 000 contacts from their folders, appends 10 000 history records over 100 days
// and reads them all back. Ratios (store time / SQLite time) are printed at the end.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "client/contacts/ChatHistory.h"
#include "client/contacts/LumoraContact.h"
#include "kestra/TextCodec.h"

namespace fs = std::filesystem;

namespace {

constexpr int CONTACTS = 1000;
constexpr int RECORDS = 10000;
constexpr int RECORDS_PER_DAY = 100;

const fs::path& workDir() {
    static const fs::path dir = [] {
        fs::path d =
            fs::temp_directory_path() / ("lumora-contacts-bench-" + std::to_string(::getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

std::wstring jidOf(int i) {
    return std::to_wstring(100000 + i) + L"@localhost";
}

std::wstring dateOf(int record) {
    const int day = record / RECORDS_PER_DAY;
    wchar_t text[16];
    std::swprintf(text, 16, L"%02d.%02d.2026", day % 28 + 1, day / 28 + 1);
    return text;
}

std::wstring recordOf(int i) {
    return L"12:00:00Message number " + std::to_wstring(i) + L", with some ordinary text.";
}

void exec(sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    }
}

sqlite3* openDatabase(const char* name) {
    sqlite3* db = nullptr;
    sqlite3_open((workDir() / name).c_str(), &db);
    exec(db, "PRAGMA synchronous=OFF");
    return db;
}

void prepareContactFolders() {
    static bool done = false;
    if (done) {
        return;
    }
    LumoraContact::setServiceHost(L"localhost");
    LumoraContact::setContactsFolder(workDir().wstring());
    for (int i = 0; i < CONTACTS; ++i) {
        LumoraContact contact(jidOf(i), L"Nick " + std::to_wstring(i), L"First", L"Last",
                              L"person@example.org", i % 3, 0, 12.5, 270, 150, false);
        contact.setPosition(CoordinateUtils::fromDecimal(DecimalCoords{55.75, 37.62}));
        contact.saveContactsInfo();
    }
    done = true;
}

void BM_LoadContacts_Files(benchmark::State& state) {
    prepareContactFolders();
    for (auto _ : state) {
        LumoraContact::ContactMap map;
        LumoraContact::loadContactsListInfo(map);
        if (map.size() != static_cast<std::size_t>(CONTACTS)) {
            state.SkipWithError("not every contact was loaded");
        }
        benchmark::DoNotOptimize(map);
    }
}

void BM_LoadContacts_Sqlite(benchmark::State& state) {
    sqlite3* db = openDatabase("contacts.db");
    exec(db, "DROP TABLE IF EXISTS contacts");
    exec(db,
         "CREATE TABLE contacts(jid TEXT PRIMARY KEY, nick TEXT, first TEXT, last TEXT, "
         "email TEXT, gender INT, gps REAL, lat REAL, lon REAL, speed REAL, course REAL, "
         "alt REAL, kind INT)");
    exec(db, "BEGIN");
    for (int i = 0; i < CONTACTS; ++i) {
        const std::string sql = "INSERT INTO contacts VALUES('" + kestra::wideToUtf8(jidOf(i)) +
                                "','Nick " + std::to_string(i) +
                                "','First','Last','person@example.org',1,0,55.75,37.62,12.5,"
                                "270,150,0)";
        exec(db, sql.c_str());
    }
    exec(db, "COMMIT");
    for (auto _ : state) {
        LumoraContact::ContactMap map;
        sqlite3_stmt* query = nullptr;
        sqlite3_prepare_v2(db, "SELECT * FROM contacts WHERE kind = 0", -1, &query, nullptr);
        while (sqlite3_step(query) == SQLITE_ROW) {
            const auto text = [&](int column) {
                return kestra::utf8ToWide(
                    reinterpret_cast<const char*>(sqlite3_column_text(query, column)));
            };
            auto contact = std::make_shared<LumoraContact>(
                text(0), text(1), text(2), text(3), text(4), sqlite3_column_int(query, 5),
                sqlite3_column_double(query, 6), sqlite3_column_double(query, 9),
                sqlite3_column_double(query, 10), sqlite3_column_double(query, 11), false);
            contact->setPosition(CoordinateUtils::fromDecimal(
                DecimalCoords{sqlite3_column_double(query, 7), sqlite3_column_double(query, 8)}));
            map[contact->getJid()] = contact;
        }
        sqlite3_finalize(query);
        benchmark::DoNotOptimize(map);
    }
    sqlite3_close(db);
}

// Appends every record to a fresh history and returns its folder name.
std::wstring writeHistory(const std::wstring& name, kestra::Mutex& lock) {
    fs::remove_all(fs::path(kestra::wideToUtf8(ChatHistory::getContactsFolder() + name)));
    for (int i = 0; i < RECORDS; ++i) {
        ChatHistory::addMessage(name, dateOf(i), recordOf(i),
                                i % 2 ? ChatHistory::SENT : ChatHistory::RECEIVED, lock);
    }
    return name;
}

void BM_HistoryAppend_Files(benchmark::State& state) {
    prepareContactFolders();
    kestra::Mutex lock;
    for (auto _ : state) {
        writeHistory(L"append", lock);
    }
    state.SetItemsProcessed(state.iterations() * RECORDS);
}

void BM_HistoryAppend_Sqlite(benchmark::State& state) {
    sqlite3* db = openDatabase("history.db");
    for (auto _ : state) {
        exec(db, "DROP TABLE IF EXISTS history");
        exec(db, "CREATE TABLE history(day TEXT, type INT, record TEXT)");
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO history VALUES(?,?,?)", -1, &insert, nullptr);
        for (int i = 0; i < RECORDS; ++i) {
            const std::string day = kestra::wideToUtf8(dateOf(i));
            const std::string record = kestra::wideToUtf8(recordOf(i));
            sqlite3_bind_text(insert, 1, day.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(insert, 2, i % 2);
            sqlite3_bind_text(insert, 3, record.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
    }
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * RECORDS);
}

void BM_HistoryRead_Files(benchmark::State& state) {
    prepareContactFolders();
    kestra::Mutex lock;
    const std::wstring name = writeHistory(L"read", lock);
    for (auto _ : state) {
        std::vector<std::wstring> list;
        ChatHistory::loadAllDays(name, list, lock);
        if (list.size() != static_cast<std::size_t>(RECORDS + RECORDS / RECORDS_PER_DAY)) {
            state.SkipWithError("records missing");
        }
        benchmark::DoNotOptimize(list);
    }
    state.SetItemsProcessed(state.iterations() * RECORDS);
}

void BM_HistoryRead_Sqlite(benchmark::State& state) {
    sqlite3* db = openDatabase("history.db");  // left filled by the append baseline
    for (auto _ : state) {
        std::vector<std::wstring> list;
        std::wstring lastDay;
        sqlite3_stmt* query = nullptr;
        sqlite3_prepare_v2(db, "SELECT day, type, record FROM history ORDER BY rowid", -1, &query,
                           nullptr);
        while (sqlite3_step(query) == SQLITE_ROW) {
            const std::wstring day =
                kestra::utf8ToWide(reinterpret_cast<const char*>(sqlite3_column_text(query, 0)));
            if (day != lastDay) {
                list.push_back(L"4" + day);
                lastDay = day;
            }
            list.push_back(
                std::to_wstring(sqlite3_column_int(query, 1)) +
                kestra::utf8ToWide(reinterpret_cast<const char*>(sqlite3_column_text(query, 2))));
        }
        sqlite3_finalize(query);
        benchmark::DoNotOptimize(list);
    }
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * RECORDS);
}

BENCHMARK(BM_LoadContacts_Files)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadContacts_Sqlite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HistoryAppend_Files)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_HistoryAppend_Sqlite)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_HistoryRead_Files)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HistoryRead_Sqlite)->Unit(benchmark::kMillisecond);

// Prints, after the usual table, each store's time divided by its baseline's.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            times_[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const auto& [name, time] : times_) {
            const std::size_t at = name.find("_Files");
            if (at == std::string::npos) {
                continue;
            }
            const std::string baseline = name.substr(0, at) + "_Sqlite" + name.substr(at + 6);
            if (times_.count(baseline) != 0 && times_[baseline] > 0) {
                std::printf("%s / %s = %.2f\n", name.c_str(), baseline.c_str(),
                            time / times_[baseline]);
            }
        }
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(workDir(), ec);
    return 0;
}
