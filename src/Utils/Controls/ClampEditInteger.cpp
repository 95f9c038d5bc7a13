#include "ClampEditInteger.h"

#include "NumberText.h"

#include <QLineEdit>

#include <algorithm>

namespace Utils::Controls {

std::optional<QString> ClampedIntegerText(const QString& text, std::int32_t minimum, std::int32_t maximum)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed == QLatin1String("-"))
        return std::nullopt;
    if (maximum < minimum)
        std::swap(minimum, maximum);
    const std::int32_t value =
        std::clamp(ParseLeadingInteger(trimmed, LeadingSpace::Blanks), minimum, maximum);
    const QString wanted = QString::number(value);
    if (wanted == trimmed)
        return std::nullopt;
    return wanted;
}

void ClampEditInteger(QLineEdit* edit, std::int32_t minimum, std::int32_t maximum)
{
    if (!edit)
        return;
    const std::optional<QString> corrected = ClampedIntegerText(edit->text(), minimum, maximum);
    if (!corrected)
        return;
    const int start = edit->selectionStart();
    const int length = edit->selectionLength();
    const int cursor = edit->cursorPosition();
    edit->setText(*corrected);
    if (start >= 0)
        edit->setSelection(std::min<int>(start, corrected->size()), length);
    else
        edit->setCursorPosition(std::min<int>(cursor, corrected->size()));
}

std::optional<std::int32_t> EditedInteger(const QString& text)
{
    QStringView digits = QStringView(text).trimmed();
    if (digits.startsWith(u'-') || digits.startsWith(u'+'))
        digits = digits.mid(1);
    if (digits.isEmpty() || digits.front() < u'0' || digits.front() > u'9')
        return std::nullopt;
    return ParseLeadingInteger(text, LeadingSpace::WhiteSpace);
}

std::int32_t ApplyEditInteger(QLineEdit* edit, std::int32_t inForce)
{
    if (!edit)
        return inForce;
    if (const std::optional<std::int32_t> value = EditedInteger(edit->text()))
        return *value;
    const QSignalBlocker blocker(edit);
    edit->setText(QString::number(inForce));
    return inForce;
}

} // namespace Utils::Controls
