#include "testing/view/RenderRig.h"

#include "client/maps/CacheManager.h"
#include "client/maps/ConnectionManager.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"
#include "testing/view/MarkerArtwork.h"

namespace fixture {

WorldCoords degrees(double latitude, double longitude) {
    DecimalCoords d;
    d.latitude = latitude;
    d.longitude = longitude;
    return CoordinateUtils::fromDecimal(d);
}

RenderRig::Options::Options() : centre(degrees(52.52, 13.40)) {}

RenderRig::RenderRig(const Options& o) : options(o) {
    kestra::Settings::startup(dir.wstr() + L"/settings.cfg");
    tiles.configureSettings();
    if (options.loaderMode >= 0) {
        kestra::Settings::setIntValue(L"maps.loaderMode", options.loaderMode);
    }
    if (options.writeView) {
        kestra::Settings::setIntValue(L"lastZoom", options.zoom);
        kestra::Settings::setIntValue(L"mapPosition", options.centringMode);
        CoordinateUtils::writeToSettings(L"userLastViewCoord", options.centre);
    }
    if (options.serveTiles) {
        tiles.serveAround(options.zoom, project(options.centre, options.zoom), options.width,
                          options.height);
    }
    LumoraContact::setContactsFolder(dir.wstr());
    CacheManager::setCachePlace(dir.wstr(), dir.wstr());
    ConnectionManager::initialise(kestra::utf8ToWide(tiles.http().url("/")));
    MarkerArtwork::registerWith(factory);
    markers = std::make_unique<MapMarkers>(factory, TextStyle{11, true});
    view = std::make_unique<HeadlessMapsView>(factory, *markers, options.width, options.height,
                                              options.screenWidth, options.screenHeight);
    profile = std::make_unique<UserContactProfile>();
    loader = std::make_unique<MapsLoaderManager>();
    loader->selectLoader(2);
    loader->setOnline();
    maps = std::make_unique<MapsManager>(*loader, factory);
    drawer = std::make_unique<DrawContactsManager>(contacts, contactsLock, view.get());
    viewManager = std::make_unique<LumoraViewManager>(*loader, factory, &listener);
    loader->setListener(viewManager.get());
    loader->start();
    // Tiles come from the server only once the loader found the network.
    testsupport::waitUntil(
        [&] { return loader->getInternetState() == MapsLoaderManager::INTERNET; }, 20000);
}

RenderRig::~RenderRig() {
    drawer->stop();
    loader->stop();
    maps->stop();
    viewManager->stop();
    loader->setListener(nullptr);
    viewManager.reset();
    drawer.reset();
    loader.reset();
    maps.reset();
    CacheManager::shutdown();
    kestra::Settings::shutdown();
}

void RenderRig::start() {
    viewManager->prepareRender(view.get(), &withPhoto, &withoutPhoto, &group, profile.get(),
                               maps.get(), drawer.get());
}

MercatorCoords RenderRig::project(const WorldCoords& position, int zoom) const {
    MercatorCoords point;
    CoordinateUtils::worldToMercatorProjectionCoords(zoom > 0 ? zoom : options.zoom, position,
                                                     point, TileServer::SIDE);
    return point;
}

bool RenderRig::waitForVisibleBlocks(int guardMs, int skipI, int skipJ) {
    return testsupport::waitUntil(
        [&] {
            std::int64_t x = 0;
            std::int64_t y = 0;
            std::int64_t column = 0;
            std::int64_t row = 0;
            if (!maps->getOrigin(x, y, column, row)) {
                return false;
            }
            const std::int64_t n = CoordinateUtils::blocksPerSide(maps->getLevel());
            for (int j = 0; j < BlockMatrix::SIZE; ++j) {
                for (int i = 0; i < BlockMatrix::SIZE; ++i) {
                    const std::int64_t left = x + i * TileServer::SIDE;
                    const std::int64_t top = y + j * TileServer::SIDE;
                    const bool visible = left + TileServer::SIDE > 0 &&
                                         top + TileServer::SIDE > 0 && left < options.width &&
                                         top < options.height;
                    const bool inWorld =
                        column + i >= 0 && row + j >= 0 && column + i < n && row + j < n;
                    const bool skipped = i == skipI && j == skipJ;
                    if (visible && inWorld && !skipped &&
                        maps->getCellState(i, j) != BlockMatrix::PRESENT) {
                        return false;
                    }
                }
            }
            return true;
        },
        guardMs);
}

std::shared_ptr<LumoraContact> RenderRig::addContact(const std::wstring& jid, const WorldCoords& at,
                                                     int status) {
    auto contact = std::make_shared<LumoraContact>();
    contact->setJid(jid);
    contact->setNick(jid.substr(0, jid.find(L'@')));
    contact->setStatus(status);
    contact->setPosition(at);
    kestra::Mutex::Locker lock(contactsLock);
    contacts[jid] = contact;
    return contact;
}

bool RenderRig::waitForPasses(long n, int guardMs) {
    const long target = drawer->passes() + n;
    return testsupport::waitUntil([&] { return drawer->passes() >= target; }, guardMs);
}

}  // namespace fixture
