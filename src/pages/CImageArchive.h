#pragma once

#include "Utils/Classes/CPage.h"

#include <QBasicTimer>

class ArchiveEngine;
class QLineEdit;

namespace Utils::Controls {
class CEditBrowseCtrlEx;
}

// The "Archive" page: shows the archive's root and template with an example of the path an
// image would get now, edits a copy and hands it back on Apply.
class CImageArchive final : public Utils::Classes::CPage
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CImageArchive)

public:
    // The Quick Set templates, in button order.
    static const QList<std::pair<QString, QString>>& QuickSets();

    explicit CImageArchive(ArchiveEngine& engine, QWidget* parent = nullptr);
    ~CImageArchive() override;

    void ApplyPage() override;
    void RefreshPage() override;

    QLineEdit* TemplateEdit() const { return templateEdit_; }
    Utils::Controls::CEditBrowseCtrlEx* RootEdit() const { return rootEdit_; }
    QLineEdit* ExampleEdit() const { return exampleEdit_; }
    void RefreshExample();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void ShowSettings();

    ArchiveEngine& engine_;
    Utils::Controls::CEditBrowseCtrlEx* rootEdit_ = nullptr;
    QLineEdit* templateEdit_ = nullptr;
    QLineEdit* exampleEdit_ = nullptr;
    QBasicTimer exampleTimer_;
};
