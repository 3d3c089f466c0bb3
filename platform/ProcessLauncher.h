#pragma once

#include <string>
#include <vector>

namespace platform {

// Starts a program detached from this one (its own session; it outlives us).
// True when the program was found and started.
bool startDetached(const std::wstring& program, const std::vector<std::wstring>& arguments = {});

}  // namespace platform
