// Per-picture cost of the render thread's path (libjpeg-turbo decode into a
// reused buffer, one smooth stretch to 480 x 360, compose) against Qt's
// default path (QImage::loadFromData + a smooth drawImage) on the same
// pictures. Pictures: the JPEG files of LORVENTA_BENCH_PICTURES (default: the
// shared sample folder next to the project), else ones the simulator makes.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <map>
#include <string>

#include "dvrsim/picture.h"
#include "video/picture_decoder.h"
#include "video/render_thread.h"

namespace {

QByteArray Picture(int width, int height) {
  const QString dir = qEnvironmentVariableIsSet("LORVENTA_BENCH_PICTURES")
                          ? qEnvironmentVariable("LORVENTA_BENCH_PICTURES")
                          : QStringLiteral(LORVENTA_SOURCE_DIR "/../shared/bench-pictures");
  QFile f(QDir(dir).filePath(QStringLiteral("q80_420_%1x%2_frame100.jpg").arg(width).arg(height)));
  if (f.open(QIODevice::ReadOnly)) return f.readAll();
  dvrsim::PictureMaker maker(width, height, 80);
  const auto bytes = maker.Make({});
  return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()));
}

const QByteArray& Cached(int width, int height) {
  static std::map<std::pair<int, int>, QByteArray> pictures;
  auto& p = pictures[{width, height}];
  if (p.isEmpty()) p = Picture(width, height);
  return p;
}

void BM_RenderPath(benchmark::State& state) {
  const QByteArray& jpeg = Cached(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  lv::PictureDecoder decoder;
  lv::RenderShared shared;
  QImage canvas(lv::kVideoWidth, lv::kVideoHeight, QImage::Format_RGB32);
  for (auto _ : state) {
    const QImage picture = decoder.Decode(reinterpret_cast<const std::uint8_t*>(jpeg.constData()),
                                          static_cast<std::size_t>(jpeg.size()));
    if (picture.isNull()) state.SkipWithError("decode failed");
    lv::ComposePicture(canvas, picture, shared);
    benchmark::DoNotOptimize(canvas.constBits());
  }
}

void BM_QtDefaultPath(benchmark::State& state) {
  const QByteArray& jpeg = Cached(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  QImage canvas(lv::kVideoWidth, lv::kVideoHeight, QImage::Format_RGB32);
  for (auto _ : state) {
    QImage picture;
    if (!picture.loadFromData(jpeg)) state.SkipWithError("decode failed");
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(0, 0, lv::kVideoWidth, lv::kVideoHeight), picture);
    painter.end();
    benchmark::DoNotOptimize(canvas.constBits());
  }
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->Args({704, 480})->Args({720, 576})->Args({1280, 720})->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_RenderPath)->Apply(Sizes);
BENCHMARK(BM_QtDefaultPath)->Apply(Sizes);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
