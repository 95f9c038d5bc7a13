#pragma once

#include "SettingsFile.h"

#include <QWidget>

namespace Utils::Classes {

// A tab page that is also its component: it owns its settings, loads and saves its own keys,
// copies its controls into its settings on Apply and shows its settings again on Refresh.
// Pages say that the user changed something through Changed(); the main window enables its
// Apply button for it.
class CPage : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CPage)

public:
    explicit CPage(QWidget* parent = nullptr) : QWidget(parent) {}
    ~CPage() override;

    // Reads the page's keys (with their defaults) and shows them.
    virtual void LoadSettings(const SettingsList& list) { Q_UNUSED(list) }
    // Appends the page's block of keys, ended by an empty line.
    virtual void SaveSettings(SettingsList& list) const { Q_UNUSED(list) }
    // Controls to settings.
    virtual void ApplyPage() {}
    // Settings to controls, discarding edits that were not applied.
    virtual void RefreshPage() {}

signals:
    void Changed();
};

} // namespace Utils::Classes
