#include "BotDirectory.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <sstream>

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool sameText(const std::string& a, const std::string& b) {
    return lower(a) == lower(b);
}

double toDouble(const std::string& text) {
    try {
        return std::stod(text);
    } catch (...) {
        return 0;
    }
}

double kilometresBetween(double lat1, double lon1, double lat2, double lon2) {
    const double r = 6371.0;
    const double rad = M_PI / 180.0;
    const double dLat = (lat2 - lat1) * rad;
    const double dLon = (lon2 - lon1) * rad;
    const double a =
        std::sin(dLat / 2) * std::sin(dLat / 2) +
        std::cos(lat1 * rad) * std::cos(lat2 * rad) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * r * std::asin(std::sqrt(a));
}

bool matches(const BotUser& u, const std::map<std::string, std::string>& q) {
    auto has = [&](const char* name) { return q.count(name) && !q.at(name).empty(); };
    if (has("user") && !sameText(u.jid, q.at("user")) &&
        !sameText(u.jid.substr(0, u.jid.find('@')), q.at("user")))
        return false;
    for (const char* name : {"first", "last", "nick", "email", "gender"}) {
        const std::string& mine = std::string(name) == "first"   ? u.first
                                  : std::string(name) == "last"  ? u.last
                                  : std::string(name) == "nick"  ? u.nick
                                  : std::string(name) == "email" ? u.email
                                                                 : u.gender;
        if (has(name) && !sameText(mine, q.at(name)))
            return false;
    }
    if (has("status") && !sameText(u.status, q.at("status")))
        return false;
    if (has("distance") && has("latitude") && has("longitude")) {
        const double km = kilometresBetween(toDouble(q.at("latitude")), toDouble(q.at("longitude")),
                                            u.latitude, u.longitude);
        if (km > toDouble(q.at("distance")))
            return false;
    }
    return true;
}

}  // namespace

void BotDirectory::load(const std::string& path) {
    users_.clear();
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> parts;
        std::stringstream ss(line);
        std::string part;
        while (std::getline(ss, part, '|'))
            parts.push_back(part);
        parts.resize(9);
        BotUser u{parts[0], parts[1], parts[2],           parts[3],          parts[4],
                  parts[5], parts[6], toDouble(parts[7]), toDouble(parts[8])};
        users_.push_back(u);
    }
}

std::vector<BotUser> BotDirectory::find(const std::map<std::string, std::string>& query) const {
    std::vector<BotUser> found;
    for (const BotUser& u : users_) {
        if (matches(u, query))
            found.push_back(u);
    }
    return found;
}
