#pragma once

#include <QDateTime>
#include <QString>

class ImageFrame;
class QObject;

// Where an output stands; the output writes it (partly from its worker threads), the
// processing controller reads it and resets Failed to Idle when processing starts.
enum class OutputState : int
{
    Idle = 0,
    Busy = 1,
    Failed = 2
};

// An output the processing controller hands each finished image to: the archive, the e-mail
// sender, the FTP uploader. Each works on a copy on its own thread and reports to `notify`
// with its own registered message.
class ImageOutput
{
public:
    virtual ~ImageOutput() = default;

    virtual OutputState State() const = 0;
    // Failed becomes Idle (at Start); Busy and Idle stay.
    virtual void ResetFailed() = 0;
    // Starts the output on a copy of the image and returns at once; the state is Busy from here.
    virtual void StartOutput(const ImageFrame& image, QObject* notify) = 0;
    // As StartOutput, for an image taken earlier (one kept for a later delivery): whatever the
    // output dates (an e-mail's subject and attachment name) gets the time it was taken.
    virtual void StartOutputTaken(const ImageFrame& image, QObject* notify, const QDateTime& taken)
    {
        Q_UNUSED(taken);
        StartOutput(image, notify);
    }
    // At exit: cuts network work short and completes what must not be lost (images waiting
    // to be written). False when a worker still runs after timeoutMs; it is then left behind.
    virtual bool FinishForExit(int timeoutMs) = 0;
    // The local file an image handed over now would be written to, for an output that writes
    // one (the archive); empty for the others.
    virtual QString LocalPathForNow() const { return QString(); }
    // For an image kept for a later delivery: images under the same key replace each other
    // (an upload to a fixed name needs only the newest); empty when every image goes on its own.
    virtual QString OutboxKey() const { return QString(); }
};
