#include "TileAddress.h"

#include <cstdlib>
#include <regex>

namespace service {

namespace {

constexpr int MAX_Z = 24;

bool number(const std::string& text, int& value) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789-") != std::string::npos) {
        return false;
    }
    char* end = nullptr;
    value = static_cast<int>(std::strtol(text.c_str(), &end, 10));
    return *end == '\0';
}

std::optional<TileAddress> checked(TileAddress::Set set, int z, int x, int y) {
    if (z < 0 || z > MAX_Z) {
        return std::nullopt;
    }
    const long long side = 1LL << z;
    if (x < 0 || y < 0 || x >= side || y >= side) {
        return std::nullopt;
    }
    return TileAddress{set, z, x, y};
}

// Quadtree names: each symbol halves the square; symbols[i] is the quarter
// (i & 1 ? right : left, i & 2 ? lower : upper).
std::optional<TileAddress> fromQuadtree(TileAddress::Set set, const std::string& path,
                                        const std::string& symbols) {
    int x = 0;
    int y = 0;
    for (char c : path) {
        const std::size_t quarter = symbols.find(c);
        if (quarter == std::string::npos) {
            return std::nullopt;
        }
        x = x * 2 + static_cast<int>(quarter & 1);
        y = y * 2 + static_cast<int>((quarter >> 1) & 1);
    }
    return checked(set, static_cast<int>(path.size()), x, y);
}

std::string value(const std::map<std::string, std::string>& query, const char* name) {
    const auto it = query.find(name);
    return it == query.end() ? std::string() : it->second;
}

std::optional<TileAddress> google(const std::string& server,
                                  const std::map<std::string, std::string>& query) {
    if (server == "kh") {
        const std::string t = value(query, "t");
        if (t.empty() || t[0] != 't') {
            return std::nullopt;
        }
        return fromQuadtree(TileAddress::Set::Satellite, t.substr(1), "qrts");
    }
    int x = 0;
    int y = 0;
    int zoom = 0;
    if (!number(value(query, "x"), x) || !number(value(query, "y"), y) ||
        !number(value(query, "zoom"), zoom)) {
        return std::nullopt;
    }
    return checked(TileAddress::Set::Roadmap, 17 - zoom, x, y);
}

std::optional<TileAddress> microsoft(const std::string& name) {
    const char kind = name[0];
    const TileAddress::Set set = kind == 'a'   ? TileAddress::Set::Satellite
                                 : kind == 'r' ? TileAddress::Set::Roadmap
                                               : TileAddress::Set::Hybrid;
    return fromQuadtree(set, name.substr(1), "0123");
}

}  // namespace

std::string TileAddress::folder() const {
    switch (set) {
        case Set::Satellite:
            return "satellite";
        case Set::Hybrid:
            return "hybrid";
        case Set::Roadmap:
        default:
            return "roadmap";
    }
}

std::optional<TileAddress> TileAddress::parse(const std::string& path,
                                              const std::map<std::string, std::string>& query) {
    static const std::regex osm(R"(/+(\d{1,2})/(\d{1,9})/(\d{1,9})\.png)");
    static const std::regex googleServer(R"(/+(mt|kh))");
    static const std::regex microsoftTile(R"(/+tiles/+([arh][0-3]*))");
    std::smatch m;
    if (std::regex_match(path, m, osm)) {
        int z = 0;
        int x = 0;
        int y = 0;
        if (!number(m[1], z) || !number(m[2], x) || !number(m[3], y)) {
            return std::nullopt;
        }
        return checked(Set::Roadmap, z, x, y);
    }
    if (std::regex_match(path, m, googleServer)) {
        return google(m[1], query);
    }
    if (std::regex_match(path, m, microsoftTile)) {
        return microsoft(m[1]);
    }
    return std::nullopt;
}

}  // namespace service
