#pragma once

#include <QWidget>

namespace Utils::Classes {

// A tab page, a view onto an engine: Apply hands the edits of its controls to the engine as a
// new settings record, Refresh shows the engine's settings again (after a load, or to drop
// edits). Pages say that the user changed something through Changed(); the main window
// enables its Apply button for it. The engines load and save the settings file themselves.
class CPage : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CPage)

public:
    explicit CPage(QWidget* parent = nullptr) : QWidget(parent) {}
    ~CPage() override;

    // Controls to settings.
    virtual void ApplyPage() {}
    // Settings to controls, discarding edits that were not applied.
    virtual void RefreshPage() {}

signals:
    void Changed();
};

} // namespace Utils::Classes
