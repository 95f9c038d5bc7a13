#include "CEditBrowseCtrlEx.h"

#include <QAction>
#include <QStyle>

namespace Utils::Controls {

CEditBrowseCtrlEx::CEditBrowseCtrlEx(QWidget* parent) : QLineEdit(parent)
{
    browse_ = addAction(style()->standardIcon(QStyle::SP_DirOpenIcon), TrailingPosition);
    browse_->setToolTip(tr("Browse"));
    connect(browse_, &QAction::triggered, this, &CEditBrowseCtrlEx::Browse);
}

void CEditBrowseCtrlEx::SetSaveFileBrowse(const QString& filter)
{
    mode_ = Mode::Save;
    filter_ = filter;
}

QString CEditBrowseCtrlEx::QtFilter(const QString& pipeFilter)
{
    const QStringList parts = pipeFilter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty())
            break;
        QString pattern = parts[i + 1];
        pattern.replace(u';', u' ');
        // A description that already shows its pattern is not given it twice.
        filters << (parts[i].contains(u'(') ? parts[i] : parts[i] + QStringLiteral(" (") + pattern + u')');
    }
    return filters.join(QStringLiteral(";;"));
}

CEditBrowseCtrlEx::StartPoint CEditBrowseCtrlEx::StartPointFor(const QString& text)
{
    const qsizetype slash = std::max(text.lastIndexOf(u'/'), text.lastIndexOf(u'\\'));
    if (slash < 0)
        return {QString(), text};
    return {text.left(slash), text.mid(slash + 1)};
}

void CEditBrowseCtrlEx::Browse()
{
    if (mode_ == Mode::Folder) {
        const QString folder = QFileDialog::getExistingDirectory(nullptr, QString(), text());
        if (folder.isEmpty())
            return;
        setText(folder);
        emit Browsed();
        return;
    }
    const StartPoint start = StartPointFor(text());
    QFileDialog dialog(nullptr, QString(), start.directory, QtFilter(filter_));
    dialog.setAcceptMode(mode_ == Mode::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(mode_ == Mode::Open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultExtension_);
    dialog.selectFile(start.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    setText(dialog.selectedFiles().constFirst());
    emit Browsed();
}

} // namespace Utils::Controls
