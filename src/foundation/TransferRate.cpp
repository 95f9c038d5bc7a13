#include "TransferRate.h"

#include "Clock.h"

#include <QFileInfo>

QString TransferRateText(std::uint64_t elapsedMs, std::uint64_t bytes)
{
    const double rate = static_cast<double>(bytes) / static_cast<double>(elapsedMs == 0 ? 1 : elapsedMs);
    return QString::asprintf("%.1f K/S", rate);
}

QString TransferRateText(std::uint64_t startMs, const QString& localFile)
{
    const QFileInfo info(localFile);
    const std::uint64_t bytes = info.exists() ? static_cast<std::uint64_t>(info.size()) : 0;
    return TransferRateText(MillisecondClock() - startMs, bytes);
}
