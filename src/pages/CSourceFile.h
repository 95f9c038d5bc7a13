#pragma once

#include <QIcon>
#include <QWidget>

class CSourceFileFloatingWindow;
class CropMouseEditor;
class FileSourceEngine;
class QCheckBox;
class QLabel;
class QLineEdit;

namespace Utils::Classes {
class FloatWndHolder;
class PictureDragOut;
} // namespace Utils::Classes
namespace Utils::Controls {
class CEditBrowseCtrlEx;
class CSimpleImage;
class CStaticColour;
} // namespace Utils::Controls

// The sub-page shown for "Collect File": the collect directory, mask and delete choice the
// Source page reads on Apply, and under "Latest File" what the file source collected last.
class CSourceFile final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSourceFile)

public:
    CSourceFile(FileSourceEngine& engine, QWidget* parent = nullptr);
    ~CSourceFile() override;

    // The controls the Source page reads on Apply and fills on load and revert.
    void ShowSettings(const QString& directory, const QString& mask, bool deleteOnCollection);
    QString DirectoryText() const;
    QString MaskText() const;
    bool DeleteOnCollectChecked() const;

    FileSourceEngine& Engine() const { return engine_; }
    QLabel* FileNameLabel() const { return fileNameLabel_; }
    QLabel* DetailsLabel() const { return detailsLabel_; }
    Utils::Controls::CStaticColour* MessageArea() const { return messageArea_; }
    Utils::Controls::CSimpleImage* ThumbnailImage() const { return thumbnailImage_; }
    QWidget* ThumbnailArea() const { return thumbnailArea_; }
    Utils::Classes::PictureDragOut* DragOut() const { return dragOut_; }
    // The latest file in a window of its own, while it is detached.
    CSourceFileFloatingWindow* FloatingWindow() const;
    void DetachTo(const QPoint& topLeft);
    void CloseFloatingWindow();
    void SetFloatingIcon(const QIcon& icon) { floatingIcon_ = icon; }
    CropMouseEditor* CropEditor() const { return cropEditor_; }

signals:
    // The user changed a control: the main window's Apply becomes enabled.
    void Changed();
    // The user dragged the crop on the picture (image pixels).
    void CropDragged(const QRect& crop);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void ShowMessage(const QString& text);
    void ShowLatest();
    void ShowThumbnailIfSeen();

    FileSourceEngine& engine_;
    Utils::Controls::CEditBrowseCtrlEx* directoryEdit_ = nullptr;
    QLineEdit* maskEdit_ = nullptr;
    QCheckBox* deleteCheck_ = nullptr;
    QWidget* thumbnailArea_ = nullptr;
    Utils::Controls::CSimpleImage* thumbnailImage_ = nullptr;
    Utils::Controls::CStaticColour* messageArea_ = nullptr;
    QLabel* fileNameLabel_ = nullptr;
    QLabel* detailsLabel_ = nullptr;
    Utils::Classes::PictureDragOut* dragOut_ = nullptr;
    Utils::Classes::FloatWndHolder* floating_ = nullptr;
    CropMouseEditor* cropEditor_ = nullptr;
    QIcon floatingIcon_;
};
