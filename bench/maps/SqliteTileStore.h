#pragma once

#include <sqlite3.h>

#include <string>

// The baseline: the same tiles in one SQLite table, keyed by source, block name and
// version, in WAL mode with full synchronisation, committed every few saves like the
// cache's index.
class SqliteTileStore {
public:
    SqliteTileStore(const std::string& path, int savesPerCommit);
    ~SqliteTileStore();
    SqliteTileStore(const SqliteTileStore&) = delete;
    SqliteTileStore& operator=(const SqliteTileStore&) = delete;

    void save(const std::string& loader, const std::string& name, const std::string& version,
              const std::string& imageType, const std::string& data);
    bool find(const std::string& loader, const std::string& name, const std::string& version,
              std::string& data);
    // Commits what is pending.
    void commit();
    void setSavesPerCommit(int saves) { savesPerCommit_ = saves; }

private:
    void exec(const char* sql);
    void begin();

    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
    sqlite3_stmt* select_ = nullptr;
    int savesPerCommit_;
    int pending_ = 0;
    bool open_ = false;
};
