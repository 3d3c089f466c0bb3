// Decoding one 256 x 256 PNG map tile through the image factory and drawing it, beside a
// plain QImage decode of the same bytes drawn with QPainter, in the same run.
//
//   view_tile_decode_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>

#include "MapTile.h"
#include "RatioReporter.h"
#include "client/drawing/QtImageFactory.h"

namespace {

const std::string& tile() {
    static const std::string bytes = mapLikeTile(17);
    return bytes;
}

void BM_DecodeAndDraw_Lumora(benchmark::State& state) {
    QtImageFactory factory;
    auto target = factory.createEmptyImage(800, 480, 0);
    for (auto _ : state) {
        auto image = factory.createImage(tile().data(), tile().size(), 256, 256);
        image->draw(target->getContext(), 100, 100, 256, 256);
    }
    state.counters["bytes"] = static_cast<double>(tile().size());
}

void BM_DecodeAndDraw_Baseline(benchmark::State& state) {
    QImage target(800, 480, QImage::Format_ARGB32_Premultiplied);
    const QByteArray bytes =
        QByteArray::fromRawData(tile().data(), static_cast<int>(tile().size()));
    for (auto _ : state) {
        QImage image;
        image.loadFromData(bytes);
        QPainter painter(&target);
        painter.drawImage(100, 100, image);
    }
    state.counters["bytes"] = static_cast<double>(tile().size());
}

void BM_Decode_Baseline(benchmark::State& state) {
    const QByteArray bytes =
        QByteArray::fromRawData(tile().data(), static_cast<int>(tile().size()));
    for (auto _ : state) {
        QImage image;
        image.loadFromData(bytes);
        benchmark::DoNotOptimize(image.constBits());
    }
}

BENCHMARK(BM_DecodeAndDraw_Lumora)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeAndDraw_Baseline)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Decode_Baseline)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
