#pragma once

#include "Utils/Classes/TrayPresenter.h"

#include <vector>

// Records what the tray would show, for tests without a desktop tray.
struct TrayRecord
{
    std::vector<qint64> shownIcons; // cache keys, in order
    std::vector<QString> tips;
    std::vector<QString> balloons;
    int removed = 0;
};

class RecordingTrayPresenter final : public Utils::Classes::TrayPresenter
{
public:
    explicit RecordingTrayPresenter(TrayRecord& record) : record_(record) {}
    void Show(const QIcon& icon, const QString& tip) override
    {
        record_.shownIcons.push_back(icon.cacheKey());
        record_.tips.push_back(tip);
    }
    void Remove() override { ++record_.removed; }
    void ShowBalloon(const QString& text, const QString&, BalloonIcon, int) override
    {
        record_.balloons.push_back(text);
    }

private:
    TrayRecord& record_;
};
