#pragma once

#include <map>
#include <optional>
#include <string>

namespace service {

// One tile of the local tile set as the three tile sources' addresses name it. Levels are
// those of the tile files: level 0 is the whole world in one tile (the client's level 1).
struct TileAddress {
    enum class Set { Satellite, Roadmap, Hybrid };

    Set set = Set::Roadmap;
    int z = 0;
    int x = 0;
    int y = 0;

    // "satellite", "roadmap" or "hybrid": the folder of the set.
    std::string folder() const;

    // The three address forms, by the request's path and query:
    //   OpenStreetMap  /<z>/<x>/<y>.png                          roadmap
    //   Google         //mt?...&x=<x>&y=<y>&zoom=<17 - z>        roadmap
    //                  //kh?...&t=t<quadtree letters q r t s>    satellite
    //   Microsoft      //tiles//<a|r|h><quadkey digits>?g=...    satellite, roadmap, hybrid
    // (one or two slashes alike). Nothing for any other path or for numbers outside the
    // level's range.
    static std::optional<TileAddress> parse(const std::string& path,
                                            const std::map<std::string, std::string>& query);
};

}  // namespace service
