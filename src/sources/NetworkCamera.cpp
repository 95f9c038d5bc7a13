#include "NetworkCamera.h"

#include "EventLog.h"
#include "PasswordScrambler.h"

#include <QUrl>

#include <algorithm>

namespace {
const QString PathPrefix = QStringLiteral("network:");
const QString KeyCount = QStringLiteral("SourceNetworkCameraCount");

QString Key(int index, const char* field)
{
    return QStringLiteral("SourceNetworkCamera%1%2").arg(index).arg(QLatin1String(field));
}

bool HasScheme(const QString& url)
{
    const QUrl parsed(url, QUrl::StrictMode);
    return parsed.isValid() && !parsed.scheme().isEmpty() &&
           (!parsed.host().isEmpty() || parsed.isLocalFile());
}
} // namespace

QString NetworkCamera::Path() const
{
    return PathPrefix + name;
}

bool NetworkCamera::IsNetworkPath(const QString& path)
{
    return path.startsWith(PathPrefix);
}

NetworkCamera NetworkCamera::WithCredentialsApart() const
{
    NetworkCamera camera = *this;
    camera.name = name.trimmed();
    camera.url = url.trimmed();
    QUrl parsed(camera.url);
    if (parsed.isValid() && !parsed.userInfo().isEmpty()) {
        if (camera.user.isEmpty()) {
            camera.user = parsed.userName(QUrl::FullyDecoded);
            camera.password = parsed.password(QUrl::FullyDecoded);
        }
        parsed.setUserInfo(QString());
        camera.url = parsed.toString(QUrl::FullyEncoded);
    }
    return camera;
}

QString NetworkCamera::Trouble(const QList<NetworkCamera>& others) const
{
    if (name.trimmed().isEmpty())
        return QStringLiteral("The camera needs a name");
    if (name.size() > MaxNameLength)
        return QStringLiteral("The name is longer than %1 characters").arg(MaxNameLength);
    if (url.size() > MaxUrlLength || user.size() > MaxCredentialLength ||
        password.size() > MaxCredentialLength)
        return QStringLiteral("The address, user name or password is too long");
    if (!HasScheme(url))
        return QStringLiteral("The address is not one a camera can be reached at (rtsp://host/path, "
                              "http://host/path, ...)");
    const bool taken = std::any_of(others.begin(), others.end(), [&](const NetworkCamera& other) {
        return other.name.compare(name, Qt::CaseInsensitive) == 0;
    });
    if (taken)
        return QStringLiteral("Another camera has the name ") + name;
    if (others.size() >= MaxCameras)
        return QStringLiteral("At most %1 network cameras can be added").arg(MaxCameras);
    return QString();
}

QList<NetworkCamera> NetworkCamera::ReadList(const SettingsList& list)
{
    QList<NetworkCamera> cameras;
    const int count = GetSettingInt(list, KeyCount, 0, 0, MaxCameras);
    for (int i = 1; i <= count; ++i) {
        NetworkCamera camera;
        camera.name = GetSettingString(list, Key(i, "Name"), QString()).left(MaxNameLength + 1);
        camera.url = GetSettingString(list, Key(i, "URL"), QString()).left(MaxUrlLength + 1);
        camera.user = GetSettingString(list, Key(i, "User"), QString()).left(MaxCredentialLength + 1);
        camera.password = ReadStoredPassword(list, Key(i, "Password"), true, MaxCredentialLength);
        camera = camera.WithCredentialsApart();
        const QString trouble = camera.Trouble(cameras);
        if (!trouble.isEmpty()) {
            AddLogEntry(LogCategory::Error,
                        QStringLiteral("Settings - network camera %1 left out - ").arg(i) + trouble);
            continue;
        }
        cameras.append(camera);
    }
    return cameras;
}

void NetworkCamera::WriteList(SettingsList& list, const QList<NetworkCamera>& cameras)
{
    AppendSetting(list, KeyCount, static_cast<std::int32_t>(cameras.size()));
    for (int i = 0; i < cameras.size(); ++i) {
        const NetworkCamera& camera = cameras[i];
        AppendSetting(list, Key(i + 1, "Name"), camera.name);
        AppendSetting(list, Key(i + 1, "URL"), camera.url);
        AppendSetting(list, Key(i + 1, "User"), camera.user);
        AppendSetting(list, Key(i + 1, "Password"), ScramblePassword(camera.password));
    }
}
