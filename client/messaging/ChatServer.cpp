#include "client/messaging/ChatServer.h"

std::string CHAT_HOST = DEFAULT_CHAT_HOST;
int CHAT_PORT = DEFAULT_CHAT_PORT;
