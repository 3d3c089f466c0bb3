#include "SqliteTileStore.h"

#include <stdexcept>

SqliteTileStore::SqliteTileStore(const std::string& path, int savesPerCommit)
    : savesPerCommit_(savesPerCommit) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) {
        throw std::runtime_error("sqlite: cannot open " + path);
    }
    sqlite3_busy_timeout(db_, 10000);  // a reader beside a writer waits, never fails
    exec("PRAGMA journal_mode=WAL");
    exec("PRAGMA synchronous=FULL");
    exec(
        "CREATE TABLE IF NOT EXISTS tiles(loader TEXT NOT NULL, name TEXT NOT NULL, "
        "version TEXT NOT NULL, image_type TEXT, saved INTEGER, data BLOB, "
        "UNIQUE(loader, name, version))");
    sqlite3_prepare_v2(db_,
                       "INSERT OR REPLACE INTO tiles(loader, name, version, image_type, saved, "
                       "data) VALUES(?, ?, ?, ?, strftime('%s','now'), ?)",
                       -1, &insert_, nullptr);
    sqlite3_prepare_v2(db_, "SELECT data FROM tiles WHERE loader=? AND name=? AND version=?", -1,
                       &select_, nullptr);
}

SqliteTileStore::~SqliteTileStore() {
    commit();
    sqlite3_finalize(insert_);
    sqlite3_finalize(select_);
    sqlite3_close(db_);
}

void SqliteTileStore::exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string text = error != nullptr ? error : "?";
        sqlite3_free(error);
        throw std::runtime_error(std::string("sqlite: ") + sql + ": " + text);
    }
}

void SqliteTileStore::begin() {
    if (!open_) {
        exec("BEGIN");
        open_ = true;
    }
}

void SqliteTileStore::commit() {
    if (open_) {
        exec("COMMIT");
        open_ = false;
    }
    pending_ = 0;
}

void SqliteTileStore::save(const std::string& loader, const std::string& name,
                           const std::string& version, const std::string& imageType,
                           const std::string& data) {
    begin();
    sqlite3_bind_text(insert_, 1, loader.data(), static_cast<int>(loader.size()), SQLITE_STATIC);
    sqlite3_bind_text(insert_, 2, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
    sqlite3_bind_text(insert_, 3, version.data(), static_cast<int>(version.size()), SQLITE_STATIC);
    sqlite3_bind_text(insert_, 4, imageType.data(), static_cast<int>(imageType.size()),
                      SQLITE_STATIC);
    sqlite3_bind_blob(insert_, 5, data.data(), static_cast<int>(data.size()), SQLITE_STATIC);
    if (sqlite3_step(insert_) != SQLITE_DONE) {
        throw std::runtime_error("sqlite: insert failed");
    }
    sqlite3_reset(insert_);
    if (++pending_ >= savesPerCommit_) {
        commit();
    }
}

bool SqliteTileStore::find(const std::string& loader, const std::string& name,
                           const std::string& version, std::string& data) {
    sqlite3_bind_text(select_, 1, loader.data(), static_cast<int>(loader.size()), SQLITE_STATIC);
    sqlite3_bind_text(select_, 2, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
    sqlite3_bind_text(select_, 3, version.data(), static_cast<int>(version.size()), SQLITE_STATIC);
    const bool found = sqlite3_step(select_) == SQLITE_ROW;
    if (found) {
        const void* blob = sqlite3_column_blob(select_, 0);
        data.assign(static_cast<const char*>(blob),
                    static_cast<std::size_t>(sqlite3_column_bytes(select_, 0)));
    }
    sqlite3_reset(select_);
    return found;
}
