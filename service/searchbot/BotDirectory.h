#pragma once

#include <map>
#include <string>
#include <vector>

// The users the test bot knows, read from a text file with one user per line:
//   jid|first|last|nick|email|gender|status|latitude|longitude
// gender is "male" or "female", status "online" or "offline". Lines starting with "#" and
// empty lines are skipped.
struct BotUser {
    std::string jid, first, last, nick, email, gender, status;
    double latitude = 0;
    double longitude = 0;
};

class BotDirectory {
public:
    void load(const std::string& path);
    // The users that match every criterion of the query (field name to value, as the
    // client sends them: user, first, last, nick, email, gender, status, distance in km
    // with latitude and longitude).
    std::vector<BotUser> find(const std::map<std::string, std::string>& query) const;

private:
    std::vector<BotUser> users_;
};
