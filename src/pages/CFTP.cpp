#include "CFTP.h"

#include "CertificateFingerprint.h"
#include "Utils/Controls/ClampEditInteger.h"
#include "outputs/FtpEngine.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>
#include <vector>

namespace {
constexpr int MinThumbnailSide = 1, MaxThumbnailSide = 1000;

} // namespace

CFTP::CFTP(FtpEngine& engine, QWidget* parent) : CPage(parent), engine_(engine)
{
    setObjectName(QStringLiteral("FTP"));
    server_ = new QLineEdit(this);
    port_ = new QLineEdit(this);
    port_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), port_));
    user_ = new QLineEdit(this);
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    password_->setMaxLength(static_cast<int>(FtpSettings::MaxPasswordLength));
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
    protocol_ = new QComboBox(this);
    protocol_->addItem(tr("FTP"), static_cast<int>(FtpProtocol::Ftp));
    protocol_->addItem(tr("FTPS (explicit, AUTH TLS)"), static_cast<int>(FtpProtocol::FtpsExplicit));
    protocol_->addItem(tr("FTPS (implicit)"), static_cast<int>(FtpProtocol::FtpsImplicit));
    protocol_->addItem(tr("SFTP"), static_cast<int>(FtpProtocol::Sftp));
    protocol_->setToolTip(tr("FTP sends the password and the files in plain text. FTPS protects both with "
                             "TLS; SFTP goes over SSH."));
    passive_ = new QCheckBox(tr("Passive mode"), this);
    passive_->setToolTip(tr("The server opens the port for each file. Needed behind most routers and "
                            "firewalls; off, the server connects back to this computer (active mode)."));
    fingerprint_ = new QLineEdit(this);
    fingerprint_->setPlaceholderText(tr("SHA-256 of a self-signed certificate (optional)"));
    fingerprint_->setToolTip(tr("A certificate no authority vouches for is accepted only when its SHA-256 "
                                "fingerprint is this one. The log shows the fingerprint of a refused "
                                "certificate."));
    privateKey_ = new QLineEdit(this);
    privateKey_->setPlaceholderText(tr("none: log in with the password"));
    privateKey_->setToolTip(tr("An SSH private key file to log in with; the password then unlocks the key."));
    knownHosts_ = new QLineEdit(this);
    knownHosts_->setPlaceholderText(tr("~/.ssh/known_hosts"));
    knownHosts_->setToolTip(tr("The server's host key must be in this file; a server that shows another "
                               "key is refused."));

    auto* serverBox = new QGroupBox(tr("Server"), this);
    auto* serverForm = new QFormLayout(serverBox);
    serverForm->addRow(tr("Address:"), server_);
    serverForm->addRow(tr("Port:"), port_);
    serverForm->addRow(tr("Protocol:"), protocol_);
    serverForm->addRow(QString(), passive_);
    auto* securityBox = new QGroupBox(tr("Security"), this);
    auto* securityForm = new QFormLayout(securityBox);
    securityForm->addRow(tr("Certificate SHA-256:"), fingerprint_);
    securityForm->addRow(tr("SSH private key file:"), privateKey_);
    securityForm->addRow(tr("Known hosts file:"), knownHosts_);
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
    connect(passive_, &QCheckBox::toggled, this, [this] { emit Changed(); });
    connect(protocol_, &QComboBox::currentIndexChanged, this, [this] {
        OnProtocolChosen();
        emit Changed();
    });

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(serverBox);
    top->addWidget(userBox);
    layout->addLayout(top);
    layout->addWidget(securityBox);
    layout->addWidget(mainBox);
    layout->addWidget(thumbBox);
    // For both files, so below both frames.
    layout->addWidget(temporaryName_);
    layout->addStretch(1);

    for (QLineEdit* edit :
         {server_, port_, user_, password_, directory_, filename_, thumbDirectory_, thumbFilename_,
          thumbWidth_, thumbHeight_, fingerprint_, privateKey_, knownHosts_})
        connect(edit, &QLineEdit::textChanged, this, [this] { emit Changed(); });
    for (QLineEdit* edit : {thumbWidth_, thumbHeight_}) {
        connect(edit, &QLineEdit::textEdited, this,
                [edit] { Utils::Controls::ClampEditInteger(edit, MinThumbnailSide, MaxThumbnailSide); });
    }
    ShowSettings();
}

CFTP::~CFTP() = default;

QString CFTP::PortForProtocol(const QString& typed, FtpProtocol protocol)
{
    const QString port = typed.trimmed();
    const bool usual = port.isEmpty() || port == QLatin1String("21") || port == QLatin1String("990") ||
                       port == QLatin1String("22");
    return usual ? QString::number(DefaultFtpPort(protocol)) : typed;
}

FtpProtocol CFTP::ShownProtocol() const
{
    return static_cast<FtpProtocol>(protocol_->currentData().toInt());
}

void CFTP::OnProtocolChosen()
{
    port_->setText(PortForProtocol(port_->text(), ShownProtocol()));
    EnableProtocolFields();
}

void CFTP::EnableProtocolFields()
{
    const FtpProtocol protocol = ShownProtocol();
    const bool tls = protocol == FtpProtocol::FtpsExplicit || protocol == FtpProtocol::FtpsImplicit;
    const bool ssh = protocol == FtpProtocol::Sftp;
    // FTPS always goes passive (see the upload); SFTP has no data connections.
    passive_->setEnabled(!ssh && !tls);
    fingerprint_->setEnabled(tls);
    privateKey_->setEnabled(ssh);
    knownHosts_->setEnabled(ssh);
}

void CFTP::ApplyPage()
{
    FtpSettings settings = engine_.Settings();
    settings.server = server_->text();
    settings.port = static_cast<std::uint16_t>(port_->text().toUInt() & 0xFFFF);
    settings.userName = user_->text();
    settings.password = password_->text();
    settings.savePassword = savePassword_->isChecked();
    settings.destinationDirectory = directory_->text();
    settings.destinationFilename = filename_->text();
    settings.thumbnailEnabled = thumbnail_->isChecked();
    settings.thumbnailDirectory = thumbDirectory_->text();
    settings.thumbnailFilename = thumbFilename_->text();
    settings.thumbnailWidth = Utils::Controls::ApplyEditInteger(thumbWidth_, settings.thumbnailWidth);
    settings.thumbnailHeight = Utils::Controls::ApplyEditInteger(thumbHeight_, settings.thumbnailHeight);
    settings.uploadUnderTemporaryName = temporaryName_->isChecked();
    settings.protocol = ShownProtocol();
    settings.passiveMode = passive_->isChecked();
    // A fingerprint that is not one leaves the one in force, shown again.
    if (const std::optional<QString> fingerprint = NormaliseCertificateFingerprint(fingerprint_->text()))
        settings.certificateSha256 = *fingerprint;
    settings.privateKeyFile = privateKey_->text().trimmed();
    settings.knownHostsFile = knownHosts_->text().trimmed();
    engine_.SetSettings(settings);
    const QSignalBlocker fingerprintBlocker(fingerprint_);
    fingerprint_->setText(settings.certificateSha256);
}

void CFTP::ShowSettings()
{
    const FtpSettings& settings = engine_.Settings();
    // Showing the settings is not a change by the user.
    std::vector<std::unique_ptr<QSignalBlocker>> blockers;
    for (QObject* control : std::initializer_list<QObject*>{
             server_, port_, user_, password_, savePassword_, directory_, filename_, thumbDirectory_,
             thumbFilename_, thumbWidth_, thumbHeight_, temporaryName_, protocol_, passive_, fingerprint_,
             privateKey_, knownHosts_})
        blockers.push_back(std::make_unique<QSignalBlocker>(control));
    server_->setText(settings.server);
    port_->setText(QString::number(settings.port));
    user_->setText(settings.userName);
    password_->setText(settings.password);
    savePassword_->setChecked(settings.savePassword);
    directory_->setText(settings.destinationDirectory);
    filename_->setText(settings.destinationFilename);
    thumbDirectory_->setText(settings.thumbnailDirectory);
    thumbFilename_->setText(settings.thumbnailFilename);
    thumbWidth_->setText(QString::number(settings.thumbnailWidth));
    thumbHeight_->setText(QString::number(settings.thumbnailHeight));
    temporaryName_->setChecked(settings.uploadUnderTemporaryName);
    protocol_->setCurrentIndex(std::max(0, protocol_->findData(static_cast<int>(settings.protocol))));
    passive_->setChecked(settings.passiveMode);
    fingerprint_->setText(settings.certificateSha256);
    privateKey_->setText(settings.privateKeyFile);
    knownHosts_->setText(settings.knownHostsFile);
    {
        const QSignalBlocker thumbBlocker(thumbnail_);
        thumbnail_->setChecked(settings.thumbnailEnabled);
    }
    // The frame's own check mark follows without saying the user changed anything.
    if (auto* box = qobject_cast<QGroupBox*>(thumbDirectory_->parentWidget())) {
        const QSignalBlocker boxBlocker(box);
        box->setChecked(settings.thumbnailEnabled);
    }
    EnableThumbnailFields();
    // Only which fields apply: the port shown is the one in force.
    EnableProtocolFields();
}

void CFTP::EnableThumbnailFields()
{
    const bool on = thumbnail_->isChecked();
    for (QLineEdit* edit : {thumbDirectory_, thumbFilename_, thumbWidth_, thumbHeight_})
        edit->setEnabled(on);
}
