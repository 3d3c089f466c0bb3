#pragma once

#include <cstdint>
#include <string>

#include "client/graphics/GraphicsTypes.h"
#include "client/maps/CoordinateUtils.h"
#include "testing/http/HttpServer.h"

namespace fixture {

// A tile server on 127.0.0.1 in the OpenStreetMap form ("/<level - 1>/<x>/<y>.png"), with
// tiles of one known colour each, so that a test can tell from a pixel which tile it shows.
// The loader's probe tile is always served.
class TileServer {
public:
    static constexpr int SIDE = 256;

    TileServer();

    HttpServer& http() { return http_; }
    // The host for the setting "maps.openStreet.tileHost".
    std::string host() const { return http_.url(""); }
    // Points the settings (started by the caller) at this server: the OpenStreetMap host,
    // and OpenStreetMap as the tile source.
    void configureSettings() const;

    // The colour of tile (x, y) at a level: different for neighbours, never grey (the
    // view's "no map") nor magenta.
    static Rgb colourOf(int level, int x, int y);
    // A PNG of size x size pixels of one colour.
    static std::string png(Rgb colour, int size = SIDE);

    void serveTile(int level, int x, int y);
    void serveBytes(int level, int x, int y, const std::string& bytes,
                    const std::string& contentType = "image/png");
    // Every tile of the level that a view of width x height centred on the world pixel
    // centre touches, with one tile more on every side.
    void serveAround(int level, const MercatorCoords& centre, int width, int height);
    static std::string pathOf(int level, int x, int y);

private:
    HttpServer http_;
};

}  // namespace fixture
