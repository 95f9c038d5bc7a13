#include "CLog.h"

#include "Utils/Controls/CEditBrowseCtrlEx.h"
#include "Utils/Controls/CListBoxColour.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

using Utils::Controls::CEditBrowseCtrlEx;
using Utils::Controls::CListBoxColour;

CLog::CLog(LogEngine& engine, QWidget* parent) : CPage(parent), engine_(engine)
{
    setObjectName(QStringLiteral("Log"));

    list_ = new CListBoxColour(this);
    saveCheck_ = new QCheckBox(tr("Save"), this);
    pathEdit_ = new CEditBrowseCtrlEx(this);
    pathEdit_->SetSaveFileBrowse(QStringLiteral("Log Files (*.log)|*.log|All Files (*.*)|*.*||"));
    pathEdit_->SetDefaultExtension(QStringLiteral("log"));

    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(saveCheck_);
    fileRow->addWidget(pathEdit_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(fileRow);

    connect(saveCheck_, &QCheckBox::toggled, this, [this](bool checked) {
        pathEdit_->setEnabled(checked);
        emit Changed();
    });
    connect(pathEdit_, &QLineEdit::textEdited, this, &CPage::Changed);
    connect(pathEdit_, &CEditBrowseCtrlEx::Browsed, this, &CPage::Changed);
    connect(&engine_, &LogEngine::Logged, this, &CLog::OnLogged);
    connect(&engine_, &LogEngine::BatchDone, this, &CLog::OnBatchDone);
    ShowSettings();
}

CLog::~CLog() = default;

void CLog::ApplyPage()
{
    Settings settings = engine_.CurrentSettings();
    settings.saveToDisk = saveCheck_->isChecked();
    settings.pathAndFilename = pathEdit_->text();
    engine_.SetSettings(settings);
}

void CLog::RefreshPage()
{
    ShowSettings();
}

void CLog::ShowSettings()
{
    const Settings& settings = engine_.CurrentSettings();
    const QSignalBlocker blocker(saveCheck_);
    saveCheck_->setChecked(settings.saveToDisk);
    pathEdit_->setText(settings.pathAndFilename);
    pathEdit_->setEnabled(settings.saveToDisk);
}

std::pair<QString, QString> CLog::CategoryColours(int category)
{
    switch (category) {
    case 1:
    case 3:
        return {QStringLiteral("255,255,255"), QStringLiteral("200,  0,  0")};
    case 2:
        return {QStringLiteral("255,255,255"), QStringLiteral("  0,150,  0")};
    case 4:
        return {QStringLiteral("255,255,255"), QStringLiteral("255,100, 23")};
    case 5:
        return {QStringLiteral("  0,  0,  0"), QStringLiteral("255,255,  0")};
    default:
        return {QString(), QString()};
    }
}

void CLog::OnLogged(int category, const QString& stampedText)
{
    if (!inBatch_) {
        // Repaint once, after the lines are in, the view scrolled and the list trimmed.
        inBatch_ = true;
        list_->setUpdatesEnabled(false);
        followEnd_ = list_->IsShowingEnd();
        topBefore_ = list_->TopIndex();
    }
    const auto [textColour, backgroundColour] = CategoryColours(category);
    list_->Append(stampedText + u'|' + textColour + u'|' + backgroundColour);
    list_->EnsureExtentFor(stampedText);
}

void CLog::OnBatchDone()
{
    if (!inBatch_)
        return;
    inBatch_ = false;
    const int limit = std::clamp(engine_.CurrentSettings().maxListboxEntries, MinLines, MaxLines);
    int removed = 0;
    for (; list_->Count() > limit; ++removed)
        list_->RemoveFirst();
    // A list that was showing its end keeps showing it; one scrolled up by the user keeps its
    // lines in view.
    if (followEnd_)
        list_->ScrollToEnd();
    else if (removed > 0)
        list_->SetTopIndex(topBefore_ - removed);
    list_->setUpdatesEnabled(true);
}
