#pragma once

#include "CropThumbnail.h"
#include "SourceSettings.h"

class ImageFrame;

// What a source needs from the source engine that runs it: the settings in force, the crop as
// it is shown now, the crop/resize step and the messages to the controller.
class SourceHost
{
public:
    virtual ~SourceHost() = default;

    virtual const SourceSettings& Settings() const = 0;
    // The crop rectangle the page's edits show (not yet applied), or the one in force when no
    // page is editing it, and whether it is on.
    virtual CropSettings LiveCrop() const = 0;
    // Crops/resizes a copy of the frame and answers the last requester; an empty frame is an
    // answer without an image. False when the step is still busy and dropped the frame.
    virtual bool ProcessSourceImage(const ImageFrame& frame) = 0;
    // UWM_SOURCE_NEW_IMAGE_AVAILABLE to the owner.
    virtual void AnnounceNewImage() = 0;
    // The current image gave way to a newer one before any request took it: UWM_SOURCE_NOTIFY
    // to the owner with a code below the errors' (SourceEngine::ImageOvertakenCode).
    virtual void AnnounceImageOvertaken() = 0;
    // A source failed: the text goes to the controller as UWM_SOURCE_NOTIFY (an error).
    virtual void ReportSourceError(const QString& text) = 0;
    // UWM_SOURCE_STATUS_UPDATED to the owner.
    virtual void AnnounceStatusUpdated() = 0;
    // Starts or stops the sources to match the settings and the choice shown.
    virtual void UpdateSourceState() = 0;
};
