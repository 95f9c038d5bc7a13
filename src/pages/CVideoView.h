#pragma once

#include "ImageFrame.h"

#include <QWidget>

#include <memory>

struct CaptureOverlay;

// The video control of the video-device page: the live picture where the capture thread puts
// it (each preview frame arrives as an event, already scaled), with the crop overlay blended
// in at its opacity, over a still picture (the thumbnail) that fills the rest. While no live
// frames come, only the still picture shows.
class CVideoView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CVideoView)

public:
    explicit CVideoView(QWidget* parent = nullptr);
    ~CVideoView() override;

    void SetPicture(const ImageFrame& picture);
    // Forgets the last live frame (the stream ended or the video was hidden).
    void ClearLive();
    // Paints everything black (a stream property page is open).
    void SetBlackout(bool black);
    bool Blackout() const { return black_; }

    int LiveFramesShown() const { return liveFrames_; }
    const ImageFrame& Picture() const { return picture_; }
signals:
    // A right-click inside the picture (at a global position) opens the property menu.
    void MenuRequested(const QPoint& globalPos);
    // The control changed size (the still picture and the live picture's place follow it).
    void Resized();

public:
    const ImageFrame& LiveFrame() const { return live_; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    ImageFrame picture_;
    ImageFrame live_;
    QPoint liveOrigin_;
    int liveFrames_ = 0;
    bool black_ = false;
};
