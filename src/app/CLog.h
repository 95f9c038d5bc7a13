#pragma once

#include "Utils/Classes/CPage.h"
#include "service/LogEngine.h"

class QCheckBox;

namespace Utils::Controls {
class CListBoxColour;
class CEditBrowseCtrlEx;
} // namespace Utils::Controls

// The "Log" page: the event log's coloured, time-stamped list and the log file's settings.
// It shows every line the log engine hands out while it exists.
class CLog final : public Utils::Classes::CPage
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CLog)

public:
    using Settings = LogEngine::Settings;
    static constexpr int MinLines = LogEngine::MinLines;
    static constexpr int MaxLines = LogEngine::MaxLines;

    explicit CLog(LogEngine& engine, QWidget* parent = nullptr);
    ~CLog() override;

    void ApplyPage() override;
    void RefreshPage() override;

    // Every entry posted so far is shown and written now (at exit).
    void Flush() { engine_.Flush(); }

    const Settings& CurrentSettings() const { return engine_.CurrentSettings(); }
    LogEngine& Engine() const { return engine_; }
    Utils::Controls::CListBoxColour* List() const { return list_; }
    QCheckBox* SaveCheck() const { return saveCheck_; }
    Utils::Controls::CEditBrowseCtrlEx* PathEdit() const { return pathEdit_; }

    // The two colour texts of a category; empty means the system colours.
    static std::pair<QString, QString> CategoryColours(int category);

private:
    void ShowSettings();
    void OnLogged(int category, const QString& stampedText);
    void OnBatchDone();

    LogEngine& engine_;
    Utils::Controls::CListBoxColour* list_ = nullptr;
    QCheckBox* saveCheck_ = nullptr;
    Utils::Controls::CEditBrowseCtrlEx* pathEdit_ = nullptr;
    // Within a batch: whether the list showed its end, and its top line, before it began.
    bool inBatch_ = false;
    bool followEnd_ = false;
    int topBefore_ = 0;
};
