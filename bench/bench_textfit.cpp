// Shortening a long error text to the width of the Advanced page's label, as every statistics
// refresh does: ours beside Qt's own elidedText (the reference) and beside the old way, which
// measured the text once per character dropped. A 30 KB one-line server reply is the case that
// used to stall the window for most of a minute. Prints medians and ratios; the budget is 1 ms.
#include "TextFit.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>

#include <benchmark/benchmark.h>

namespace {
QString LongReply(int bytes)
{
    QString text = QStringLiteral("12:00:00 - SMTP - Email failed to send - 554 ");
    while (text.size() < bytes)
        text += QStringLiteral("the server says something long and unhelpful ");
    return text.left(bytes);
}

QString OldWay(const QString& text, const QFontMetrics& metrics, int width)
{
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    QString cut = text;
    while (!cut.isEmpty() && metrics.horizontalAdvance(cut + QStringLiteral("...")) >= width)
        cut.chop(1);
    return cut + QStringLiteral("...");
}

void Ours(benchmark::State& state)
{
    const QFontMetrics metrics(QFont(QStringLiteral("DejaVu Sans"), 9));
    const QString text = LongReply(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(ShortenWithDots(text, metrics, 400, 400));
}

void QtElided(benchmark::State& state)
{
    const QFontMetrics metrics(QFont(QStringLiteral("DejaVu Sans"), 9));
    const QString text = LongReply(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(metrics.elidedText(text, Qt::ElideRight, 400));
}

void Old(benchmark::State& state)
{
    const QFontMetrics metrics(QFont(QStringLiteral("DejaVu Sans"), 9));
    const QString text = LongReply(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(OldWay(text, metrics, 400));
}
} // namespace

BENCHMARK(Ours)->Arg(4 * 1024)->Arg(30 * 1024)->Unit(benchmark::kMicrosecond);
BENCHMARK(QtElided)->Arg(4 * 1024)->Arg(30 * 1024)->Unit(benchmark::kMicrosecond);
// The old way at 4 KB only: at 30 KB one run takes most of a minute.
BENCHMARK(Old)->Arg(4 * 1024)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
