#include "CFTP.h"

#include "FtpUpload.h"
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "PrivateTempDirectory.h"
#include "Utils/Controls/ClampEditInteger.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <QDir>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {
constexpr int MinThumbnailSide = 1, MaxThumbnailSide = 1000;

QEvent::Type NotifyType()
{
    return RegisterNamedMessage(QString::fromLatin1(MessageName::FtpNotify));
}
} // namespace

CFTP::CFTP(QWidget* parent, const FtpLimits& limits) : CPage(parent), limits_(limits)
{
    setObjectName(QStringLiteral("FTP"));
    server_ = new QLineEdit(this);
    port_ = new QLineEdit(this);
    port_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), port_));
    user_ = new QLineEdit(this);
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    savePassword_ = new QCheckBox(tr("Save"), this);
    directory_ = new QLineEdit(this);
    filename_ = new QLineEdit(this);
    thumbDirectory_ = new QLineEdit(this);
    thumbFilename_ = new QLineEdit(this);
    thumbWidth_ = new QLineEdit(this);
    thumbHeight_ = new QLineEdit(this);
    temporaryName_ = new QCheckBox(tr("Upload under a temporary name, then rename"), this);
    temporaryName_->setToolTip(tr("A broken upload then never replaces the published file. "
                                  "Turn off only for servers that refuse to rename files."));

    auto* serverBox = new QGroupBox(tr("Server"), this);
    auto* serverForm = new QFormLayout(serverBox);
    serverForm->addRow(tr("Address:"), server_);
    serverForm->addRow(tr("Port:"), port_);
    auto* userBox = new QGroupBox(tr("User"), this);
    auto* userForm = new QFormLayout(userBox);
    userForm->addRow(tr("Username:"), user_);
    auto* passwordRow = new QHBoxLayout;
    passwordRow->addWidget(password_, 1);
    passwordRow->addWidget(savePassword_);
    userForm->addRow(tr("Password:"), passwordRow);
    auto* mainBox = new QGroupBox(tr("Main Image"), this);
    auto* mainForm = new QFormLayout(mainBox);
    mainForm->addRow(tr("Destination Directory:"), directory_);
    mainForm->addRow(tr("Destination Filename:"), filename_);
    // The check box stands on the frame's edge and decides whether its fields are in use.
    auto* thumbBox = new QGroupBox(tr("Thumbnail"), this);
    thumbBox->setCheckable(true);
    thumbnail_ = new QCheckBox(this);
    thumbnail_->hide();
    auto* thumbForm = new QFormLayout(thumbBox);
    thumbForm->addRow(tr("Destination Directory:"), thumbDirectory_);
    thumbForm->addRow(tr("Destination Filename:"), thumbFilename_);
    thumbForm->addRow(tr("Width:"), thumbWidth_);
    thumbForm->addRow(tr("Height:"), thumbHeight_);
    // The group box's own check mark is the visible control; thumbnail_ mirrors it so that
    // the page has one check box to read, set and test.
    connect(thumbBox, &QGroupBox::toggled, thumbnail_, &QCheckBox::setChecked);
    connect(thumbnail_, &QCheckBox::toggled, thumbBox, &QGroupBox::setChecked);
    // A group box that is unchecked disables its children itself; the page keeps its own
    // rule so the fields follow the check box whichever way it was set.
    connect(thumbnail_, &QCheckBox::toggled, this, [this] {
        EnableThumbnailFields();
        emit Changed();
    });
    connect(savePassword_, &QCheckBox::toggled, this, [this] { emit Changed(); });
    connect(temporaryName_, &QCheckBox::toggled, this, [this] { emit Changed(); });

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(serverBox);
    top->addWidget(userBox);
    layout->addLayout(top);
    layout->addWidget(mainBox);
    layout->addWidget(thumbBox);
    // For both files, so below both frames.
    layout->addWidget(temporaryName_);
    layout->addStretch(1);

    for (QLineEdit* edit : {server_, port_, user_, password_, directory_, filename_, thumbDirectory_,
                            thumbFilename_, thumbWidth_, thumbHeight_})
        connect(edit, &QLineEdit::textChanged, this, [this] { emit Changed(); });
    for (QLineEdit* edit : {thumbWidth_, thumbHeight_}) {
        connect(edit, &QLineEdit::textEdited, this,
                [edit] { Utils::Controls::ClampEditInteger(edit, MinThumbnailSide, MaxThumbnailSide); });
    }
    ShowSettings();
}

CFTP::~CFTP()
{
    // A stalled server must not hold up the exit for the length of the time limits.
    cancel_ = true;
}

void CFTP::LoadSettings(const SettingsList& list)
{
    settings_ = FtpSettings::Read(list);
    ShowSettings();
}

void CFTP::SaveSettings(SettingsList& list) const
{
    settings_.Write(list);
}

void CFTP::ApplyPage()
{
    settings_.server = server_->text();
    settings_.port = static_cast<std::uint16_t>(port_->text().toUInt() & 0xFFFF);
    settings_.userName = user_->text();
    settings_.password = password_->text();
    settings_.savePassword = savePassword_->isChecked();
    settings_.destinationDirectory = directory_->text();
    settings_.destinationFilename = filename_->text();
    settings_.thumbnailEnabled = thumbnail_->isChecked();
    settings_.thumbnailDirectory = thumbDirectory_->text();
    settings_.thumbnailFilename = thumbFilename_->text();
    settings_.thumbnailWidth = Utils::Controls::ApplyEditInteger(thumbWidth_, settings_.thumbnailWidth);
    settings_.thumbnailHeight = Utils::Controls::ApplyEditInteger(thumbHeight_, settings_.thumbnailHeight);
    settings_.uploadUnderTemporaryName = temporaryName_->isChecked();
}

void CFTP::ShowSettings()
{
    // Showing the settings is not a change by the user.
    std::vector<std::unique_ptr<QSignalBlocker>> blockers;
    for (QObject* control : std::initializer_list<QObject*>{
             server_, port_, user_, password_, savePassword_, directory_, filename_, thumbDirectory_,
             thumbFilename_, thumbWidth_, thumbHeight_, temporaryName_})
        blockers.push_back(std::make_unique<QSignalBlocker>(control));
    server_->setText(settings_.server);
    port_->setText(QString::number(settings_.port));
    user_->setText(settings_.userName);
    password_->setText(settings_.password);
    savePassword_->setChecked(settings_.savePassword);
    directory_->setText(settings_.destinationDirectory);
    filename_->setText(settings_.destinationFilename);
    thumbDirectory_->setText(settings_.thumbnailDirectory);
    thumbFilename_->setText(settings_.thumbnailFilename);
    thumbWidth_->setText(QString::number(settings_.thumbnailWidth));
    thumbHeight_->setText(QString::number(settings_.thumbnailHeight));
    temporaryName_->setChecked(settings_.uploadUnderTemporaryName);
    {
        const QSignalBlocker thumbBlocker(thumbnail_);
        thumbnail_->setChecked(settings_.thumbnailEnabled);
    }
    // The frame's own check mark follows without saying the user changed anything.
    if (auto* box = qobject_cast<QGroupBox*>(thumbDirectory_->parentWidget())) {
        const QSignalBlocker boxBlocker(box);
        box->setChecked(settings_.thumbnailEnabled);
    }
    EnableThumbnailFields();
}

void CFTP::EnableThumbnailFields()
{
    const bool on = thumbnail_->isChecked();
    for (QLineEdit* edit : {thumbDirectory_, thumbFilename_, thumbWidth_, thumbHeight_})
        edit->setEnabled(on);
}

void CFTP::ResetFailed()
{
    int failed = static_cast<int>(OutputState::Failed);
    state_.compare_exchange_strong(failed, static_cast<int>(OutputState::Idle));
}

QString CFTP::TempDirectory()
{
    if (!tempDirectory_.isEmpty())
        return tempDirectory_;
    const QString shared = PrivateTempDirectory();
    if (shared.isEmpty())
        return QString();
    // One directory per process: two Pixlets of one user must not upload each other's image.
    // Those of processes that are gone (killed, say) are cleared on the way.
    QDir directory(shared);
    for (const QString& name :
         directory.entryList({QStringLiteral("ftp-*")}, QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const qint64 pid = name.mid(4).toLongLong(&number);
        if (number && pid > 0 && pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) != 0 &&
            errno == ESRCH)
            QDir(directory.filePath(name)).removeRecursively();
    }
    const QString own = QStringLiteral("ftp-%1").arg(::getpid());
    const QByteArray path = QFile::encodeName(directory.filePath(own));
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return QString();
    tempDirectory_ = directory.filePath(own) + QLatin1Char('/');
    return tempDirectory_;
}

void CFTP::Upload(const ImageFrame& image, QObject* notify)
{
    state_ = static_cast<int>(OutputState::Busy);
    auto job =
        std::make_shared<FtpUploadJob>(FtpUploadJob{settings_, image.SharedCopy(), TempDirectory(), limits_});
    const QEvent::Type type = NotifyType();
    worker_.Post([this, job, notify, type] {
        const FtpReporter report = [notify, type](std::int64_t code, const std::optional<QString>& text) {
            if (!notify)
                return;
            auto* event = new MessageEvent(type, code);
            event->text = text;
            QCoreApplication::postEvent(notify, event);
        };
        RunFtpUpload(*job, cancel_, state_, report);
    });
}
