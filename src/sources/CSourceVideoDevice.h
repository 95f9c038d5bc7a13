#pragma once

#include <QString>
#include <QWidget>

// The video-device source: the sub-page shown for "Capture from Video Device". Capture itself
// is not part of this build yet: the page keeps the stored device, never connects, and reports
// itself disconnected, so that the Source page and the controller can already rely on it.
class CSourceVideoDevice final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSourceVideoDevice)

public:
    enum class ConnectionState
    {
        NotStarted,
        Disconnected,
        Connecting,
        Connected,
        Streaming
    };

    explicit CSourceVideoDevice(QWidget* parent = nullptr);

    // The device path the settings name, and the one the page would use.
    void SetSelectedDevice(const QString& deviceId) { deviceId_ = deviceId; }
    QString SelectedDevice() const { return deviceId_; }

    // Connects the selected device unless connected already or none is selected.
    void ConnectDevice() {}
    // Disconnects.
    void ClearDeviceSelection() {}
    void RefreshVideoDisplay() {}

    // A status of the page's own (an error, a device that went away), or empty.
    QString OwnStatusText() const { return QString(); }
    ConnectionState State() const { return ConnectionState::NotStarted; }
    QString FriendlyName() const { return QString(); }

    // Asks the capture thread for a still; false when there is no capture thread or a still
    // is already on its way.
    bool RequestStill() { return false; }
    // How long the capture thread rests between frames with Low CPU on (0: no rest).
    void SetInterframeDelay(int delayMs) { interframeDelayMs_ = delayMs; }
    int InterframeDelay() const { return interframeDelayMs_; }

private:
    QString deviceId_;
    int interframeDelayMs_ = 0;
};
