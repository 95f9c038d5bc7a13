#pragma once

#include <QString>

#include <cstdint>

// Bytes per millisecond, that is kilobytes (of 1000 bytes) per second, as "%.1f K/S". An
// elapsed time of 0 counts as 1 ms: 51200 bytes in 400 ms give "128.0 K/S".
QString TransferRateText(std::uint64_t elapsedMs, std::uint64_t bytes);

// The rate of sending the local file since `startMs` (a MillisecondClock reading); a file that
// cannot be read counts as 0 bytes.
QString TransferRateText(std::uint64_t startMs, const QString& localFile);
