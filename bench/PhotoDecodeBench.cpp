// Opening a large photo for the preview, fitted into a window and at full size, beside Qt's
// own image reader on the same files. "Fitted" includes shrinking the picture to the window.

#include "BenchSupport.h"
#include "preview/JpegDecoder.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <random>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

const QSize kWindow(1344, 740); // the preview's picture area on a 1920 x 1080 screen

QString PhotoFile(int width, int height)
{
    static QTemporaryDir folder;
    const QString path = folder.path() + QStringLiteral("/%1x%2.JPG").arg(width).arg(height);
    if (!QFile::exists(path)) {
        // Something like a landscape from the air: sky and ground gradients, fields, and a
        // little sensor noise, saved at quality 90 (a few MB, as a camera writes).
        QImage picture(width, height, QImage::Format_RGB32);
        QPainter painter(&picture);
        QLinearGradient sky(0, 0, 0, height);
        sky.setColorAt(0, QColor(120, 160, 220));
        sky.setColorAt(0.4, QColor(200, 220, 240));
        sky.setColorAt(0.41, QColor(90, 130, 70));
        sky.setColorAt(1, QColor(60, 90, 40));
        painter.fillRect(picture.rect(), sky);
        std::mt19937 random(5);
        for (int i = 0; i < 400; ++i) {
            painter.setBrush(QColor(int(random() % 120) + 60, int(random() % 100) + 80, int(random() % 60) + 30));
            painter.setPen(Qt::NoPen);
            painter.drawRect(QRect(int(random() % width), int(height * 0.4 + random() % int(height * 0.6)),
                                   int(random() % 300) + 40, int(random() % 200) + 30));
        }
        painter.end();
        for (int y = 0; y < height; ++y) {
            auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
            for (int x = 0; x < width; ++x) {
                const int n = int(random() % 9) - 4;
                const QRgb c = line[x];
                line[x] = qRgb(std::clamp(qRed(c) + n, 0, 255), std::clamp(qGreen(c) + n, 0, 255), std::clamp(qBlue(c) + n, 0, 255));
            }
        }
        picture.save(path, "JPG", 90);
    }
    return path;
}

QSize FittedSize(QSize picture)
{
    return picture.scaled(kWindow, Qt::KeepAspectRatio);
}

void BM_OursFitted(benchmark::State& state)
{
    const QString path = PhotoFile(int(state.range(0)), int(state.range(1)));
    for (auto _ : state) {
        const DecodedPhoto photo = DecodePhoto(path, kWindow);
        benchmark::DoNotOptimize(photo.image.scaled(FittedSize(photo.fullSize), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
}

void BM_OursFullSize(benchmark::State& state)
{
    const QString path = PhotoFile(int(state.range(0)), int(state.range(1)));
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodePhoto(path).image);
}

void BM_QtReaderFitted(benchmark::State& state)
{
    const QString path = PhotoFile(int(state.range(0)), int(state.range(1)));
    for (auto _ : state) {
        const QImage image(path);
        benchmark::DoNotOptimize(image.scaled(FittedSize(image.size()), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
}

void BM_QtReaderFullSize(benchmark::State& state)
{
    const QString path = PhotoFile(int(state.range(0)), int(state.range(1)));
    for (auto _ : state)
        benchmark::DoNotOptimize(QImage(path));
}

#define PHOTO_SIZES ->Args({4000, 3000})->Args({5472, 3648})->Unit(benchmark::kMillisecond)
BENCHMARK(BM_OursFitted) PHOTO_SIZES;
BENCHMARK(BM_QtReaderFitted) PHOTO_SIZES;
BENCHMARK(BM_OursFullSize) PHOTO_SIZES;
BENCHMARK(BM_QtReaderFullSize) PHOTO_SIZES;

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
