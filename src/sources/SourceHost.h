#pragma once

#include "CropThumbnail.h"
#include "SourceSettings.h"

class ImageFrame;

// What a source sub-page needs from the Source page that hosts it: the settings in force, the
// crop as the edits show it now, the crop/resize step and the messages to the controller.
class SourceHost
{
public:
    virtual ~SourceHost() = default;

    virtual const SourceSettings& Settings() const = 0;
    // The crop rectangle of the edits (not yet applied) and whether "Crop" is checked.
    virtual CropSettings LiveCrop() const = 0;
    // Crops/resizes a copy of the frame and answers the last requester; an empty frame is an
    // answer without an image. False when the step is still busy and dropped the frame.
    virtual bool ProcessSourceImage(const ImageFrame& frame) = 0;
    // UWM_SOURCE_NEW_IMAGE_AVAILABLE to the owner.
    virtual void AnnounceNewImage() = 0;
    // A source failed: the text goes to the controller as UWM_SOURCE_NOTIFY (an error).
    virtual void ReportSourceError(const QString& text) = 0;
    // UWM_SOURCE_STATUS_UPDATED to the owner.
    virtual void AnnounceStatusUpdated() = 0;
    // Shows the selected sub-page and starts or stops the sources to match.
    virtual void UpdateSourceState() = 0;
    // The user changed a control of a sub-page: the main window's Apply becomes enabled.
    virtual void SubPageChanged() = 0;
};
