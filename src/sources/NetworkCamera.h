#pragma once

#include "SettingsFile.h"

#include <QList>
#include <QString>

// A camera reached over the network, as the user added it: listed by its name beside the local
// devices, its stream at the address, the credentials kept apart from the address.
struct NetworkCamera
{
    QString name;
    QString url;
    QString user;
    QString password;

    static constexpr int MaxCameras = 32;
    static constexpr qsizetype MaxNameLength = 100;
    static constexpr qsizetype MaxUrlLength = 2000;
    static constexpr qsizetype MaxCredentialLength = 256;

    friend bool operator==(const NetworkCamera&, const NetworkCamera&) = default;

    // The device path it is listed and stored under ("network:NAME").
    QString Path() const;
    static bool IsNetworkPath(const QString& path);

    // A user name and password written into the address ("rtsp://user:pw@host/") move into
    // their fields; the address keeps neither.
    NetworkCamera WithCredentialsApart() const;
    // Why the camera cannot be added beside the others (empty: it can): no name, a name taken,
    // an address GStreamer cannot read, text too long.
    QString Trouble(const QList<NetworkCamera>& others) const;

    // The cameras of a settings file ("SourceNetworkCamera1Name", ...), each checked as above;
    // one that cannot be taken is left out with a log line.
    static QList<NetworkCamera> ReadList(const SettingsList& list);
    static void WriteList(SettingsList& list, const QList<NetworkCamera>& cameras);
};
