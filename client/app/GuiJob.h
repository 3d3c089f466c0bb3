#pragma once

#include <functional>
#include <string>

// Runs one piece of work on the GUI thread. An exception it throws is logged as an ERROR
// line that names owner, and goes no further: no exception may reach the GUI loop.
void runGuiJob(const std::string& owner, const std::function<void()>& job) noexcept;
