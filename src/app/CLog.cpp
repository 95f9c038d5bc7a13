#include "CLog.h"

#include "Clock.h"
#include "EventLog.h"
#include "LogText.h"
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "RegularFile.h"
#include "Utils/Controls/CEditBrowseCtrlEx.h"
#include "Utils/Controls/CListBoxColour.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHBoxLayout>
#include <QTimerEvent>
#include <QVBoxLayout>

#include <fcntl.h>
#include <limits>
#include <optional>

using Utils::Controls::CEditBrowseCtrlEx;
using Utils::Controls::CListBoxColour;

CLog::CLog(const Clock& clock, const QString& dataDirectory, QWidget* parent)
    : CPage(parent), clock_(clock), defaultPath_(dataDirectory + QStringLiteral("pixlet.log"))
{
    setObjectName(QStringLiteral("Log"));
    settings_.pathAndFilename = defaultPath_;

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
    ShowSettings();
    SetLogReceiver(this);
}

CLog::~CLog()
{
    // After this no thread can post to the page; entries still queued are freed by Qt.
    SetLogReceiver(nullptr);
}

void CLog::LoadSettings(const SettingsList& list)
{
    settings_.saveToDisk = GetSettingBool(list, KeySaveToDisk, false);
    settings_.maxListboxEntries = GetSettingInt(list, KeyMaxEntries, 1000, MinLines, MaxLines);
    settings_.pathAndFilename = GetSettingString(list, KeyPath, defaultPath_);
    settings_.fileMaxSizeMb = GetSettingInt(list, KeyFileMaxSize, 10, 0, 1024);
    settings_.fileKeep = GetSettingInt(list, KeyFileKeep, 5, 1, 100);
    ShowSettings();
}

void CLog::SaveSettings(SettingsList& list) const
{
    AppendSetting(list, KeySaveToDisk, settings_.saveToDisk);
    AppendSetting(list, KeyMaxEntries, settings_.maxListboxEntries);
    AppendSetting(list, KeyPath, settings_.pathAndFilename);
    AppendSetting(list, KeyFileMaxSize, settings_.fileMaxSizeMb);
    AppendSetting(list, KeyFileKeep, settings_.fileKeep);
    EndSettingsBlock(list);
}

void CLog::ApplyPage()
{
    settings_.saveToDisk = saveCheck_->isChecked();
    settings_.pathAndFilename = pathEdit_->text();
}

void CLog::RefreshPage()
{
    ShowSettings();
}

void CLog::ShowSettings()
{
    const QSignalBlocker blocker(saveCheck_);
    saveCheck_->setChecked(settings_.saveToDisk);
    pathEdit_->setText(settings_.pathAndFilename);
    pathEdit_->setEnabled(settings_.saveToDisk);
}

QString CLog::StampedText(const QDateTime& moment, const QString& text)
{
    return moment.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")) + QStringLiteral(": ") + text;
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

void CLog::AddEntry(int category, const QString& text, bool writeToFile)
{
    std::deque<Entry> one{{category, text, clock_.LocalNow(), writeToFile}};
    AddBatch(one, std::numeric_limits<int>::max());
}

void CLog::AddBatch(std::deque<Entry>& entries, int budgetMs)
{
    QElapsedTimer spent;
    spent.start();
    // Repaint once, after the lines are in, the view scrolled and the list trimmed.
    list_->setUpdatesEnabled(false);
    const bool followEnd = list_->IsShowingEnd();
    const int topBefore = list_->TopIndex();
    // The file is opened once per batch; it may be moved, read or deleted between batches.
    std::optional<QFile> file;
    while (!entries.empty() && spent.elapsed() < budgetMs) {
        const Entry entry = std::move(entries.front());
        entries.pop_front();
        const QString stamped = StampedText(entry.stamp, EscapeControlCharacters(entry.text));
        const auto [textColour, backgroundColour] = CategoryColours(entry.category);
        list_->Append(stamped + u'|' + textColour + u'|' + backgroundColour);
        list_->EnsureExtentFor(stamped);
        if (!settings_.saveToDisk || !entry.writeToFile)
            continue;
        if (!file) {
            RotateLogFileIfFull(settings_.pathAndFilename, qint64(settings_.fileMaxSizeMb) * 1024 * 1024,
                                settings_.fileKeep);
            file.emplace();
            // A pipe named as the log file would otherwise hold up the whole window.
            OpenRegularFile(*file, QFile::encodeName(settings_.pathAndFilename),
                            O_WRONLY | O_APPEND | O_CREAT, QIODevice::WriteOnly | QIODevice::Append);
        }
        if (file->isOpen()) {
            file->write((stamped + u'\n').toUtf8());
        } else {
            // Said once per entry and never written to the file itself, so it cannot loop.
            entries.push_front(
                {LogCategory::Error, QStringLiteral("Log - Could not save to disk"), entry.stamp, false});
        }
    }

    const int limit = std::clamp(settings_.maxListboxEntries, MinLines, MaxLines);
    int removed = 0;
    for (; list_->Count() > limit; ++removed)
        list_->RemoveFirst();
    // A list that was showing its end keeps showing it; one scrolled up by the user keeps its
    // lines in view.
    if (followEnd)
        list_->ScrollToEnd();
    else if (removed > 0)
        list_->SetTopIndex(topBefore - removed);
    list_->setUpdatesEnabled(true);
}

void CLog::Flush()
{
    static const QEvent::Type logUpdate = RegisterNamedMessage(QString::fromLatin1(MessageName::LogUpdate));
    QCoreApplication::sendPostedEvents(this, logUpdate);
    AddBatch(pending_, std::numeric_limits<int>::max());
    showPending_.stop();
}

void CLog::ShowPending()
{
    AddBatch(pending_, BatchBudgetMs);
    if (pending_.empty())
        showPending_.stop();
}

void CLog::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == showPending_.timerId())
        ShowPending();
    else
        CPage::timerEvent(event);
}

bool CLog::event(QEvent* event)
{
    static const QEvent::Type logUpdate = RegisterNamedMessage(QString::fromLatin1(MessageName::LogUpdate));
    if (event->type() != logUpdate)
        return CPage::event(event);
    auto* message = static_cast<MessageEvent*>(event);
    pending_.push_back(
        {static_cast<int>(message->wParam), message->text.value_or(QString()), clock_.LocalNow(), true});
    // Shown from a zero timer, which runs after the events already queued (input, paint).
    if (!showPending_.isActive())
        showPending_.start(0, this);
    return true;
}
