#include "CSMTP.h"

#include "outputs/SmtpEngine.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <memory>
#include <vector>

namespace {
QString UsualPort(SmtpSecurity security)
{
    switch (security) {
    case SmtpSecurity::StartTls:
        return QStringLiteral("587");
    case SmtpSecurity::Tls:
        return QStringLiteral("465");
    case SmtpSecurity::None:
        break;
    }
    return QStringLiteral("25");
}
} // namespace

CSMTP::CSMTP(SmtpEngine& engine, QWidget* parent) : CPage(parent), engine_(engine)
{
    setObjectName(QStringLiteral("Email"));
    server_ = new QLineEdit(this);
    port_ = new QLineEdit(this);
    port_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), port_));
    security_ = new QComboBox(this);
    security_->addItem(tr("None"), static_cast<int>(SmtpSecurity::None));
    security_->addItem(tr("STARTTLS"), static_cast<int>(SmtpSecurity::StartTls));
    security_->addItem(tr("TLS"), static_cast<int>(SmtpSecurity::Tls));
    security_->setToolTip(
        tr("STARTTLS upgrades a plain connection (usually port 587 or 25); TLS is encrypted "
           "from the start (usually port 465). A password is sent only with one of them."));
    fingerprint_ = new QLineEdit(this);
    fingerprint_->setPlaceholderText(tr("only for a server with its own certificate"));
    fingerprint_->setToolTip(
        tr("The SHA-256 fingerprint of a certificate no authority vouches for, as the log "
           "shows it when the server is refused. With a fingerprint, only that certificate "
           "is accepted."));
    user_ = new QLineEdit(this);
    user_->setMaxLength(static_cast<int>(SmtpSettings::MaxUserNameLength));
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    password_->setMaxLength(static_cast<int>(SmtpSettings::MaxPasswordLength));
    savePassword_ = new QCheckBox(tr("Save"), this);
    from_ = new QLineEdit(this);
    to_ = new QLineEdit(this);
    subject_ = new QLineEdit(this);
    filename_ = new QLineEdit(this);

    auto* serverBox = new QGroupBox(tr("Server"), this);
    auto* serverForm = new QFormLayout(serverBox);
    serverForm->addRow(tr("Address:"), server_);
    serverForm->addRow(tr("Port:"), port_);
    serverForm->addRow(tr("Security:"), security_);
    serverForm->addRow(tr("Certificate SHA-256:"), fingerprint_);
    auto* userBox = new QGroupBox(tr("User"), this);
    auto* userForm = new QFormLayout(userBox);
    userForm->addRow(tr("Username:"), user_);
    auto* passwordRow = new QHBoxLayout;
    passwordRow->addWidget(password_, 1);
    passwordRow->addWidget(savePassword_);
    userForm->addRow(tr("Password:"), passwordRow);
    auto* messageBox = new QGroupBox(tr("Message"), this);
    auto* messageForm = new QFormLayout(messageBox);
    messageForm->addRow(tr("From Address:"), from_);
    messageForm->addRow(tr("To Address:"), to_);
    messageForm->addRow(tr("Subject:"), subject_);
    messageForm->addRow(tr("Filename:"), filename_);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(serverBox);
    top->addWidget(userBox);
    layout->addLayout(top);
    layout->addWidget(messageBox);
    layout->addStretch(1);

    for (QLineEdit* edit : {server_, port_, fingerprint_, user_, password_, from_, to_, subject_, filename_})
        connect(edit, &QLineEdit::textChanged, this, [this] { emit Changed(); });
    connect(savePassword_, &QCheckBox::toggled, this, [this] { emit Changed(); });
    connect(security_, &QComboBox::currentIndexChanged, this, [this] {
        OnSecurityChosen();
        emit Changed();
    });
    ShowSettings();
}

CSMTP::~CSMTP() = default;

QString CSMTP::PortForSecurity(const QString& typed, SmtpSecurity security)
{
    const QString port = typed.trimmed();
    const bool usual = port.isEmpty() || port == QLatin1String("25") || port == QLatin1String("465") ||
                       port == QLatin1String("587");
    return usual ? UsualPort(security) : typed;
}

SmtpSecurity CSMTP::ShownSecurity() const
{
    return static_cast<SmtpSecurity>(security_->currentData().toInt());
}

void CSMTP::OnSecurityChosen()
{
    port_->setText(PortForSecurity(port_->text(), ShownSecurity()));
    fingerprint_->setEnabled(ShownSecurity() != SmtpSecurity::None);
}

void CSMTP::ApplyPage()
{
    SmtpSettings settings = engine_.Settings();
    settings.server = server_->text();
    settings.port = static_cast<std::uint16_t>(port_->text().toUInt() & 0xFFFF);
    settings.security = ShownSecurity();
    // A fingerprint that is not one leaves the one in force, shown again.
    if (const std::optional<QString> fingerprint = NormaliseCertificateFingerprint(fingerprint_->text()))
        settings.certificateSha256 = *fingerprint;
    // As the settings file would have it: a control character (a pasted tab) is no part of a name.
    settings.userName = user_->text().remove(QRegularExpression(QStringLiteral("[\\x00-\\x1f\\x7f]")));
    settings.password = password_->text();
    settings.savePassword = savePassword_->isChecked();
    settings.fromAddress = from_->text();
    settings.toAddress = to_->text();
    settings.subject = subject_->text();
    settings.filename = filename_->text();
    engine_.SetSettings(settings);
    const QSignalBlocker fingerprintBlocker(fingerprint_);
    fingerprint_->setText(settings.certificateSha256);
}

void CSMTP::ShowSettings()
{
    const SmtpSettings& settings = engine_.Settings();
    // Showing the settings is not a change by the user.
    std::vector<std::unique_ptr<QSignalBlocker>> blockers;
    for (QObject* control :
         std::initializer_list<QObject*>{server_, port_, security_, fingerprint_, user_, password_,
                                         savePassword_, from_, to_, subject_, filename_})
        blockers.push_back(std::make_unique<QSignalBlocker>(control));
    server_->setText(settings.server);
    port_->setText(QString::number(settings.port));
    security_->setCurrentIndex(security_->findData(static_cast<int>(settings.security)));
    fingerprint_->setText(settings.certificateSha256);
    fingerprint_->setEnabled(settings.security != SmtpSecurity::None);
    user_->setText(settings.userName);
    password_->setText(settings.password);
    savePassword_->setChecked(settings.savePassword);
    from_->setText(settings.fromAddress);
    to_->setText(settings.toAddress);
    subject_->setText(settings.subject);
    filename_->setText(settings.filename);
}
