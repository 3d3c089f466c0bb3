#pragma once

#include <string>

// The chat server's address. The built-in values are replaced at start-up by the settings
// lumoraServer.host and lumoraServer.port when they exist.
extern std::string CHAT_HOST;
extern int CHAT_PORT;

constexpr const char* DEFAULT_CHAT_HOST = "localhost";
constexpr int DEFAULT_CHAT_PORT = 5222;
