#include "VideoPropertyPages.h"

#include "CStreamPropertiesDialog.h"
#include "CVideoPropertiesDialog.h"
#include "Utils/Classes/CaptureTypes.h"

#include <QMenu>
#include <QWidget>

VideoPropertyPages::VideoPropertyPages(QWidget* parent, Post post)
    : QObject(parent), parent_(parent), post_(std::move(post))
{
}

VideoPropertyPages::~VideoPropertyPages() = default;

void VideoPropertyPages::RequestMenu(const QPoint& globalPos)
{
    menuPos_ = globalPos;
    post_(CaptureCommand::ShowMenu, 0, nullptr);
}

void VideoPropertyPages::ShowMenu(const CapturePages& pages)
{
    menu_ = std::make_unique<QMenu>(parent_);
    if (!pages.controls.isEmpty()) {
        const CapturePages copy = pages;
        menu_->addAction(QStringLiteral("Video Properties..."), this,
                         [this, copy] { OpenVideoProperties(copy); });
    }
    if (!pages.formats.isEmpty()) {
        menu_->addAction(QStringLiteral("Stream Properties..."), this, [this] {
            post_(CaptureCommand::PropertyPage, CaptureCommand::StreamPropertiesPage, nullptr);
        });
    }
    if (trailing_) {
        if (!menu_->isEmpty())
            menu_->addSeparator();
        menu_->addAction(trailing_);
    }
    if (!menu_->isEmpty())
        menu_->popup(menuPos_);
}

void VideoPropertyPages::ShowMenuAt(const QPoint& globalPos)
{
    menuPos_ = globalPos;
    ShowMenu(CapturePages{});
}

void VideoPropertyPages::OpenVideoProperties(const CapturePages& pages)
{
    videoDialog_ = std::make_unique<CVideoPropertiesDialog>(
        pages.controls,
        [this](const QString& name, int value) {
            auto control = std::make_unique<CaptureControlValue>();
            control->name = name;
            control->value = value;
            post_(CaptureCommand::SetControl, 0, std::move(control));
        },
        parent_);
    videoDialog_->setWindowFlag(Qt::Window);
    videoDialog_->show();
}

void VideoPropertyPages::OpenStreamProperties(const CapturePages& pages)
{
    streamDialog_ = std::make_unique<CStreamPropertiesDialog>(pages.formats, pages.format, parent_);
    streamDialog_->setWindowFlag(Qt::Window);
    connect(streamDialog_.get(), &QDialog::finished, this, [this](int result) {
        auto choice = std::make_unique<CaptureFormatChoice>();
        if (result == QDialog::Accepted && streamDialog_)
            choice->format = streamDialog_->Chosen();
        // The dialog is freed later: this runs inside its own signal.
        if (streamDialog_)
            streamDialog_.release()->deleteLater();
        post_(CaptureCommand::SetFormat, 0, std::move(choice));
    });
    streamDialog_->open();
}

void VideoPropertyPages::CloseAll()
{
    if (menu_)
        menu_->close();
    menu_.reset();
    videoDialog_.reset();
    if (streamDialog_) {
        streamDialog_->disconnect(this);
        streamDialog_.reset();
    }
}
