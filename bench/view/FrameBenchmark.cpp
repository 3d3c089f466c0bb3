// Frames of the map view (800 x 480) on the headless render path, each beside plain Qt
// doing the same drawing, in the same run:
//   - composing a full frame from decoded tiles (the blocks, 20 contact markers with their
//     labels, the own marker), beside QPainter drawing the same images into a QImage;
//   - a cold screen from a warm disk cache: a new picture whose every visible tile is read
//     from the tile cache, decoded and composed, beside reading the same tiles from one
//     file each, decoding them with QImage and drawing them.
//
//   view_frame_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <fstream>
#include <iterator>

#include "MapTile.h"
#include "RatioReporter.h"
#include "client/maps/CacheManager.h"
#include "testing/view/MarkerArtwork.h"
#include "testing/view/RenderRig.h"

namespace {

constexpr int ZOOM = 12;
std::unique_ptr<fixture::RenderRig> rig;

struct Tile {
    QPoint at;
    std::string bytes;
    QImage image;
};
std::vector<Tile> visibleTiles;
std::vector<std::pair<QPoint, QImage>> markers;
std::filesystem::path tileFiles;

// The rig with map-like tiles around the view, 20 contacts in view and the own marker.
void setUp() {
    fixture::RenderRig::Options options;
    options.zoom = ZOOM;
    options.serveTiles = false;
    rig = std::make_unique<fixture::RenderRig>(options);
    const MercatorCoords c = rig->project(options.centre);
    tileFiles = rig->dir.path() / "files";
    std::filesystem::create_directories(tileFiles);
    for (int ty = c.y / 256 - 2; ty <= c.y / 256 + 2; ++ty) {
        for (int tx = c.x / 256 - 3; tx <= c.x / 256 + 3; ++tx) {
            const std::string bytes = mapLikeTile(static_cast<unsigned int>(tx * 7919 + ty));
            rig->tiles.serveBytes(ZOOM, tx, ty, bytes);
            const QPoint at(400 - c.x + tx * 256, 240 - c.y + ty * 256);
            if (at.x() > -256 && at.x() < 800 && at.y() > -256 && at.y() < 480) {
                visibleTiles.push_back({at, bytes, QImage()});
                visibleTiles.back().image.loadFromData(
                    QByteArray(bytes.data(), static_cast<int>(bytes.size())));
                std::ofstream(tileFiles / (std::to_string(visibleTiles.size()) + ".png"),
                              std::ios::binary)
                    << bytes;
            }
        }
    }
    for (int i = 0; i < 20; ++i) {
        WorldCoords place;
        CoordinateUtils::mercatorProjectionToWorldCoords(
            {c.x - 360 + (i % 5) * 170, c.y - 200 + (i / 5) * 110}, ZOOM, 256, place);
        rig->addContact(L"contact" + std::to_wstring(i) + L"@lumora", place,
                        i % 3 == 0 ? LumoraContact::STATUS_OFFLINE : LumoraContact::STATUS_ONLINE);
    }
    rig->profile->setNick(L"me");
    rig->start();
    rig->viewManager->setOwnPosition(options.centre);
    rig->waitForVisibleBlocks();
    testsupport::waitUntil(
        [&] {
            rig->view->renderFrame();
            return rig->view->markers().size() >= 21;
        },
        20000);
    for (const auto& m : rig->view->markers()) {
        QImage image(fixture::MarkerArtwork::CONTACT_SIZE, fixture::MarkerArtwork::CONTACT_SIZE,
                     QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter(&image).fillRect(2, 2, 16, 16, QColor(20, 170, 40));
        markers.emplace_back(QPoint(m.point.x - 10, m.point.y - 10), image);
    }
}

void BM_ComposeFrame_Lumora(benchmark::State& state) {
    for (auto _ : state) {
        rig->view->renderFrame(true);  // the blocks drawn anew, then everything on top
    }
    state.counters["tiles"] = static_cast<double>(visibleTiles.size());
    state.counters["markers"] = static_cast<double>(rig->view->markers().size());
}

void BM_ComposeFrame_Baseline(benchmark::State& state) {
    QImage frame(800, 480, QImage::Format_ARGB32_Premultiplied);
    QImage window(800, 480, QImage::Format_ARGB32_Premultiplied);
    QFont font;
    font.setPixelSize(11);
    font.setBold(true);
    for (auto _ : state) {
        QPainter painter(&frame);
        for (const Tile& tile : visibleTiles) {
            painter.drawImage(tile.at, tile.image);
        }
        painter.setFont(font);
        for (const auto& m : markers) {
            painter.drawImage(m.first, m.second);
            painter.fillRect(m.first.x() - 10, m.first.y() + 23, 40, 14, QColor(237, 244, 250));
            painter.drawText(QRect(m.first.x() - 10, m.first.y() + 23, 40, 14), Qt::AlignCenter,
                             QStringLiteral("contact"));
        }
        painter.end();
        QPainter(&window).drawImage(0, 0, frame);
    }
}

void BM_ColdScreen_Lumora(benchmark::State& state) {
    for (auto _ : state) {
        rig->viewManager->refresh();  // a new picture: every visible tile from the cache
        rig->view->renderFrame();
    }
    state.counters["decoded"] = static_cast<double>(rig->factory.decodes());
}

void BM_ColdScreen_Baseline(benchmark::State& state) {
    QImage frame(800, 480, QImage::Format_ARGB32_Premultiplied);
    QImage window(800, 480, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&frame);
        for (std::size_t i = 1; i <= visibleTiles.size(); ++i) {
            std::ifstream in(tileFiles / (std::to_string(i) + ".png"), std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
            QImage image;
            image.loadFromData(
                QByteArray::fromRawData(bytes.data(), static_cast<int>(bytes.size())));
            painter.drawImage(visibleTiles[i - 1].at, image);
        }
        painter.end();
        QPainter(&window).drawImage(0, 0, frame);
    }
}

BENCHMARK(BM_ComposeFrame_Lumora)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComposeFrame_Baseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColdScreen_Lumora)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColdScreen_Baseline)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testsupport::TempDir runtime;
    setenv("XDG_RUNTIME_DIR", runtime.str().c_str(), 1);
    QGuiApplication app(argc, argv);  // texts need it; this thread stands for the window's
    QFontDatabase::addApplicationFont("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf");
    benchmark::Initialize(&argc, argv);
    setUp();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    rig.reset();
    return 0;
}
