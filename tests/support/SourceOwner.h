#pragma once

#include "ImageFrame.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <vector>

// Stands in for the processing controller: counts what the Source page tells it and keeps the
// answers to its requests (nullptr for an answer without an image).
class SourceOwner final : public QObject
{
public:
    int available = 0;
    int statusUpdates = 0;
    std::vector<std::int64_t> notifyCodes;
    QStringList notifyTexts;
    std::vector<std::unique_ptr<ImageFrame>> answers;

    bool event(QEvent* event) override;
};
