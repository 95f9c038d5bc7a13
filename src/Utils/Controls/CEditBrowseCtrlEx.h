#pragma once

#include <QFileDialog>
#include <QLineEdit>

namespace Utils::Controls {

// An edit with a browse button that opens a file dialog in the directory of the path typed,
// with its file name preselected; OK puts the chosen path into the edit.
class CEditBrowseCtrlEx final : public QLineEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CEditBrowseCtrlEx)

public:
    explicit CEditBrowseCtrlEx(QWidget* parent = nullptr);

    // Switches to a Save As dialog with a filter of "description|pattern|...|" pairs ended by "|".
    void SetSaveFileBrowse(const QString& filter);
    // Switches to a folder picker.
    void SetFolderBrowse() { mode_ = Mode::Folder; }
    void SetDefaultExtension(const QString& extension) { defaultExtension_ = extension; }

    // The filter as Qt writes it: "Log Files (*.log);;All Files (*.*)".
    static QString QtFilter(const QString& pipeFilter);
    // The directory and file name the dialog starts with, from the edit's text.
    struct StartPoint
    {
        QString directory, fileName;
    };
    static StartPoint StartPointFor(const QString& text);

    QAction* BrowseAction() const { return browse_; }

signals:
    // Emitted after the browse dialog changed the text.
    void Browsed();

private:
    void Browse();

    enum class Mode
    {
        Open,
        Save,
        Folder
    };

    QAction* browse_ = nullptr;
    Mode mode_ = Mode::Open;
    QString defaultExtension_;
    QString filter_;
};

} // namespace Utils::Controls
