#include "ArrivalLedger.h"

#include <QRegularExpression>

#include <algorithm>

ArrivalLedger::ArrivalLedger(const QStringList& names)
    : entries_(static_cast<std::size_t>(names.size())), seen_(static_cast<std::size_t>(names.size()), false)
{
    for (int i = 0; i < names.size(); ++i)
        index_.insert(names[i], i);
}

int ArrivalLedger::IndexOf(const QString& name)
{
    const int index = index_.value(name, -1);
    if (index < 0)
        problems_ << QStringLiteral("a file that was not dropped: ") + name;
    return index;
}

void ArrivalLedger::Settle(int index, Fate fate, double atMs)
{
    Entry& entry = entries_[static_cast<std::size_t>(index)];
    if (entry.fate != Fate::Open) {
        problems_ << QStringLiteral("file %1 settled twice").arg(index);
        return;
    }
    entry = {fate, atMs};
    ++settled_;
}

int ArrivalLedger::Count(Fate fate) const
{
    return static_cast<int>(
        std::count_if(entries_.cbegin(), entries_.cend(), [fate](const Entry& e) { return e.fate == fate; }));
}

void ArrivalLedger::Feed(const LoggedLine& line)
{
    static const QRegularExpression passedOver(
        QStringLiteral("^(\\d+) older file\\(s\\) passed over - the newer file (.+) is taken: "));
    static const QRegularExpression skipped(QStringLiteral("^(\\d+) image\\(s\\) skipped while busy"));
    const QString& text = line.text;
    if (text.startsWith(QStringLiteral("Loaded file "))) {
        const int index = IndexOf(text.mid(12));
        if (index >= 0) {
            seen_[static_cast<std::size_t>(index)] = true;
            loaded_.push_back(index);
        }
    } else if (text.startsWith(QStringLiteral("Failed to load "))) {
        const int index = IndexOf(text.section(QLatin1Char(' '), -1));
        if (index >= 0) {
            seen_[static_cast<std::size_t>(index)] = true;
            Settle(index, Fate::Failed, line.atMs);
        }
    } else if (const auto match = passedOver.match(text); match.hasMatch()) {
        const int taken = IndexOf(match.captured(2));
        int found = 0;
        for (int i = 0; i < taken; ++i) {
            if (!seen_[static_cast<std::size_t>(i)]) {
                seen_[static_cast<std::size_t>(i)] = true;
                Settle(i, Fate::PassedOver, line.atMs);
                ++found;
            }
        }
        if (found != match.captured(1).toInt())
            problems_ << QStringLiteral("the log passes over %1 file(s) before %2, the ledger finds %3")
                             .arg(match.captured(1), match.captured(2))
                             .arg(found);
    } else if (const auto match = skipped.match(text); match.hasMatch()) {
        pendingSkips_ += match.captured(1).toInt();
    } else if (text.startsWith(QStringLiteral("Processing cycle begun"))) {
        for (; pendingSkips_ > 0 && !loaded_.empty(); --pendingSkips_) {
            Settle(loaded_.front(), Fate::Skipped, line.atMs);
            loaded_.pop_front();
        }
        if (loaded_.empty()) {
            problems_ << QStringLiteral("a cycle began with no loaded image open");
        } else {
            cycling_.push_back(loaded_.front());
            loaded_.pop_front();
        }
    } else if (text.startsWith(QStringLiteral("Archive - Archived OK")) ||
               text.startsWith(QStringLiteral("Archive - Error"))) {
        if (cycling_.empty()) {
            problems_ << QStringLiteral("an archived image with no cycle open");
        } else {
            Settle(cycling_.front(),
                   text.contains(QStringLiteral("Archived OK")) ? Fate::Published : Fate::ArchiveError,
                   line.atMs);
            cycling_.pop_front();
        }
    } else if (text.startsWith(QStringLiteral("Image not published"))) {
        if (!loaded_.empty()) {
            Settle(loaded_.back(), Fate::NotPublished, line.atMs);
            loaded_.pop_back();
        }
    }
}
