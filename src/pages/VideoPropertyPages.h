#pragma once

#include "MessageEvent.h"

#include <QObject>
#include <QPoint>

#include <cstdint>
#include <functional>
#include <memory>

class CStreamPropertiesDialog;
class CVideoPropertiesDialog;
class QAction;
class QMenu;
class QWidget;
struct CapturePages;

// The camera's property pages on the page's side: the right-click menu ("Video Properties...",
// "Stream Properties..." as the device offers them, then the page's own Detach) and the two dialogs. What the
// device offers comes from the capture thread, and every change goes back to it as a command; the dialogs
// never touch the device themselves.
class VideoPropertyPages final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VideoPropertyPages)

public:
    using Post =
        std::function<void(std::int64_t command, std::int64_t argument, std::unique_ptr<MessagePayload>)>;
    VideoPropertyPages(QWidget* parent, Post post);
    ~VideoPropertyPages() override;

    // A right-click at the global position: asks the capture thread what it can offer.
    void RequestMenu(const QPoint& globalPos);
    // Its answer: the menu pops up where the click was, unless the device offers nothing.
    void ShowMenu(const CapturePages& pages);
    // The menu without asking the device: only the trailing action.
    void ShowMenuAt(const QPoint& globalPos);
    // An action of the page's own at the end of the menu (Detach); not owned.
    void SetTrailingAction(QAction* action) { trailing_ = action; }
    // The stream has stopped for its format to be chosen: the format list opens.
    void OpenStreamProperties(const CapturePages& pages);
    // The connection ended: menu and dialogs close; a format list open sends nothing.
    void CloseAll();

    QMenu* Menu() const { return menu_.get(); }
    CVideoPropertiesDialog* VideoDialog() const { return videoDialog_.get(); }
    CStreamPropertiesDialog* StreamDialog() const { return streamDialog_.get(); }

private:
    void OpenVideoProperties(const CapturePages& pages);

    QWidget* const parent_;
    const Post post_;
    QPoint menuPos_;
    QAction* trailing_ = nullptr;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<CVideoPropertiesDialog> videoDialog_;
    std::unique_ptr<CStreamPropertiesDialog> streamDialog_;
};
