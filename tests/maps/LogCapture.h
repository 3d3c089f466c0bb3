#pragma once

#include <string>

#include "TestSupport.h"
#include "kestra/Log.h"

// Opens the process log in a temporary folder at DEBUG level for one test and reads it back.
class LogCapture {
public:
    LogCapture() { kestra::Log::open(dir_.wstr() + L"/test.log", kestra::LOG_DEBUG, 1u << 30); }
    ~LogCapture() { kestra::Log::close(); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::string text() const { return testsupport::readFile(dir_.path() / "test.log"); }
    bool contains(const std::string& line) const { return text().find(line) != std::string::npos; }
    std::size_t count(const std::string& line) const {
        const std::string all = text();
        std::size_t n = 0;
        for (std::size_t at = all.find(line); at != std::string::npos;
             at = all.find(line, at + line.size())) {
            ++n;
        }
        return n;
    }

private:
    testsupport::TempDir dir_;
};
