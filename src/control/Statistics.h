#pragma once

#include <QString>

#include <cstdint>

// The run's counters (from 0 at start, never reset, never saved) and the last error with its
// time, which the processing controller keeps and the Advanced page shows.
struct Statistics
{
    std::int32_t cycles = 0;
    std::int32_t totalErrors = 0;
    std::int32_t emailCycles = 0;
    std::int32_t emailErrors = 0;
    std::int32_t ftpCycles = 0;
    std::int32_t ftpErrors = 0;
    std::int32_t archiveErrors = 0;
    std::int32_t sourceErrors = 0;
    std::int32_t skipped = 0;      // images loaded but never published: a newer one came while busy
    std::int32_t outboxImages = 0; // images kept for a later FTP or e-mail delivery, now
    qint64 outboxBytes = 0;
    QString lastError; // "<HH>:<MM>:<SS> - " and the error
};
