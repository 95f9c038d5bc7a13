#include "CSourceFile.h"

#include "CSourceFileFloatingWindow.h"
#include "CropMouseEditor.h"
#include "ImageOperations.h"
#include "Utils/Classes/CFloatWnd.h"
#include "Utils/Classes/FloatWndHolder.h"
#include "Utils/Classes/PictureDragOut.h"
#include "Utils/Controls/CEditBrowseCtrlEx.h"
#include "Utils/Controls/CSimpleImage.h"
#include "Utils/Controls/CStaticColour.h"
#include "sources/FileSourceEngine.h"
#include "sources/SourceHost.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

using Utils::Classes::CFloatWnd;
using Utils::Classes::FloatWndHolder;
using Utils::Classes::PictureDragOut;
using Utils::Controls::CEditBrowseCtrlEx;
using Utils::Controls::CSimpleImage;
using Utils::Controls::CStaticColour;

namespace {
constexpr QSize ThumbnailAreaSize(176, 132);
} // namespace

CSourceFile::CSourceFile(FileSourceEngine& engine, QWidget* parent) : QWidget(parent), engine_(engine)
{
    setObjectName(QStringLiteral("SourceFile"));
    directoryEdit_ = new CEditBrowseCtrlEx(this);
    directoryEdit_->SetFolderBrowse();
    maskEdit_ = new QLineEdit(this);
    deleteCheck_ = new QCheckBox(tr("Delete on Collect"), this);

    auto* collect = new QGroupBox(tr("Collect Directory and File Mask"), this);
    auto* form = new QFormLayout(collect);
    form->addRow(tr("Directory:"), directoryEdit_);
    form->addRow(tr("File Mask:"), maskEdit_);
    form->addRow(QString(), deleteCheck_);

    auto* latest = new QGroupBox(tr("Latest File"), this);
    thumbnailArea_ = new QWidget(latest);
    // The thumbnail takes the page's free space and follows the window's size.
    thumbnailArea_->setMinimumSize(ThumbnailAreaSize);
    thumbnailArea_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    thumbnailImage_ = new CSimpleImage(thumbnailArea_);
    messageArea_ = new CStaticColour(thumbnailArea_);
    messageArea_->setAlignment(Qt::AlignCenter);
    messageArea_->SetTextColour(Qt::white);
    messageArea_->SetBackgroundColour(palette().color(QPalette::Shadow));
    auto* area = new QGridLayout(thumbnailArea_);
    area->setContentsMargins(0, 0, 0, 0);
    area->addWidget(thumbnailImage_, 0, 0);
    area->addWidget(messageArea_, 0, 0);
    fileNameLabel_ = new QLabel(latest);
    detailsLabel_ = new QLabel(latest);
    auto* latestLayout = new QVBoxLayout(latest);
    latestLayout->addWidget(thumbnailArea_, 1);
    latestLayout->addWidget(fileNameLabel_);
    latestLayout->addWidget(detailsLabel_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(collect);
    layout->addWidget(latest, 1);

    // The values are taken on Apply; a change only enables it.
    connect(directoryEdit_, &QLineEdit::textEdited, this, &CSourceFile::Changed);
    connect(directoryEdit_, &CEditBrowseCtrlEx::Browsed, this, &CSourceFile::Changed);
    connect(maskEdit_, &QLineEdit::textEdited, this, &CSourceFile::Changed);
    connect(deleteCheck_, &QCheckBox::clicked, this, &CSourceFile::Changed);

    connect(&engine_, &FileSourceEngine::FileNameChanged, fileNameLabel_, &QLabel::setText);
    connect(&engine_, &FileSourceEngine::DetailsChanged, detailsLabel_, &QLabel::setText);
    connect(&engine_, &FileSourceEngine::MessageChanged, this, &CSourceFile::ShowMessage);
    connect(&engine_, &FileSourceEngine::ThumbnailChanged, thumbnailImage_,
            [this](const ImageFrame& thumbnail) { thumbnailImage_->SetPicture(thumbnail); });
    connect(&engine_, &FileSourceEngine::DisplayRefreshed, this, &CSourceFile::ShowLatest);
    dragOut_ = new PictureDragOut(thumbnailArea_, [this] {
        return thumbnailImage_->isVisible() && !thumbnailImage_->Picture().IsEmpty()
                   ? thumbnailImage_->geometry()
                   : QRect();
    });
    connect(dragOut_, &PictureDragOut::DetachRequested, this, &CSourceFile::DetachTo);
    // Installed after the drag-out, so a press on the crop is never the start of a drag-out.
    cropEditor_ = new CropMouseEditor(thumbnailArea_, [this] {
        const ImageFrame& frame = engine_.CurrentFrame();
        const QRect area = thumbnailImage_->geometry();
        const PixelRect fit = FitImageToWindow(frame, PixelRect{0, 0, area.width(), area.height()});
        CropSettings crop = engine_.Host().LiveCrop();
        crop.enabled = crop.enabled && thumbnailImage_->isVisible();
        return CropMouseEditor::View{
            QRect(area.left() + fit.left, area.top() + fit.top, fit.Width(), fit.Height()),
            QSize(frame.Width(), frame.Height()), crop};
    });
    connect(cropEditor_, &CropMouseEditor::CropDragged, this, &CSourceFile::CropDragged);
    thumbnailArea_->installEventFilter(this);
    floating_ = new FloatWndHolder(this);
    connect(floating_, &FloatWndHolder::Closed, this, [this] {
        ShowThumbnailIfSeen();
        ShowMessage(engine_.MessageText());
    });

    fileNameLabel_->setText(engine_.FileNameText());
    detailsLabel_->setText(engine_.DetailsText());
    ShowMessage(engine_.MessageText());
    if (!engine_.Thumbnail().IsEmpty())
        thumbnailImage_->SetPicture(engine_.Thumbnail());
}

CSourceFile::~CSourceFile()
{
    engine_.SetThumbnailShown(false, QSize());
}

void CSourceFile::ShowMessage(const QString& text)
{
    // The message stands in for the thumbnail while there is no image, and says where the
    // image is while it is detached.
    const QString shown = !text.isEmpty() || !FloatingWindow() ? text : tr("Image Detached");
    if (!shown.isEmpty())
        messageArea_->setText(shown);
    thumbnailImage_->setVisible(shown.isEmpty());
    messageArea_->setVisible(!shown.isEmpty());
}

CSourceFileFloatingWindow* CSourceFile::FloatingWindow() const
{
    return static_cast<CSourceFileFloatingWindow*>(floating_->Window());
}

void CSourceFile::ShowLatest()
{
    CSourceFileFloatingWindow* window = FloatingWindow();
    if (!window)
        return;
    // The source was reset or its image dropped: the window has nothing left to show.
    if (engine_.CurrentFrame().IsEmpty()) {
        floating_->Close();
        return;
    }
    window->ShowFrame(engine_.CurrentFrame(), engine_.Host().LiveCrop());
    window->setWindowTitle(engine_.FileNameText() + tr(" at ") + engine_.CollectedAtText());
}

void CSourceFile::DetachTo(const QPoint& topLeft)
{
    if (engine_.CurrentFrame().IsEmpty())
        return;
    if (!FloatingWindow()) {
        auto window = std::make_unique<CSourceFileFloatingWindow>();
        window->setObjectName(QStringLiteral("SourceFileWindow"));
        window->setWindowIcon(floatingIcon_.isNull() ? this->window()->windowIcon() : floatingIcon_);
        window->ShowFrame(engine_.CurrentFrame(), engine_.Host().LiveCrop());
        connect(window.get(), &CSourceFileFloatingWindow::CropDragged, this, &CSourceFile::CropDragged);
        floating_->Open(std::move(window), topLeft, *this);
        ShowLatest();
        ShowThumbnailIfSeen();
    } else {
        floating_->BringForward();
    }
    ShowMessage(engine_.MessageText());
}

void CSourceFile::ShowSettings(const QString& directory, const QString& mask, bool deleteOnCollection)
{
    directoryEdit_->setText(directory);
    maskEdit_->setText(mask);
    deleteCheck_->setChecked(deleteOnCollection);
}

QString CSourceFile::DirectoryText() const
{
    return directoryEdit_->text();
}

QString CSourceFile::MaskText() const
{
    return maskEdit_->text();
}

bool CSourceFile::DeleteOnCollectChecked() const
{
    return deleteCheck_->isChecked();
}

bool CSourceFile::eventFilter(QObject* watched, QEvent* event)
{
    // The thumbnail is drawn for the size it is shown at.
    if (watched == thumbnailArea_ && event->type() == QEvent::Resize)
        ShowThumbnailIfSeen();
    return QWidget::eventFilter(watched, event);
}

void CSourceFile::ShowThumbnailIfSeen()
{
    // Detached, the page shows a message instead: nobody sees a thumbnail drawn then.
    engine_.SetThumbnailShown(isVisible() && !FloatingWindow(), thumbnailArea_->size());
}

void CSourceFile::CloseFloatingWindow()
{
    floating_->Close();
}

void CSourceFile::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    ShowThumbnailIfSeen();
}

void CSourceFile::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    engine_.SetThumbnailShown(false, thumbnailArea_->size());
}
