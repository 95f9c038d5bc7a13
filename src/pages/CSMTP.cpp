#include "CSMTP.h"

#include "outputs/SmtpEngine.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

CSMTP::CSMTP(SmtpEngine& engine, QWidget* parent) : CPage(parent), engine_(engine)
{
    setObjectName(QStringLiteral("Email"));
    server_ = new QLineEdit(this);
    port_ = new QLineEdit(this);
    port_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), port_));
    from_ = new QLineEdit(this);
    to_ = new QLineEdit(this);
    subject_ = new QLineEdit(this);
    filename_ = new QLineEdit(this);

    auto* serverBox = new QGroupBox(tr("Server"), this);
    auto* serverForm = new QFormLayout(serverBox);
    serverForm->addRow(tr("Address:"), server_);
    serverForm->addRow(tr("Port:"), port_);
    auto* messageBox = new QGroupBox(tr("Message"), this);
    auto* messageForm = new QFormLayout(messageBox);
    messageForm->addRow(tr("From Address:"), from_);
    messageForm->addRow(tr("To Address:"), to_);
    messageForm->addRow(tr("Subject:"), subject_);
    messageForm->addRow(tr("Filename:"), filename_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(serverBox);
    layout->addWidget(messageBox);
    layout->addStretch(1);

    for (QLineEdit* edit : {server_, port_, from_, to_, subject_, filename_})
        connect(edit, &QLineEdit::textChanged, this, [this] { emit Changed(); });
    ShowSettings();
}

CSMTP::~CSMTP() = default;

void CSMTP::ApplyPage()
{
    SmtpSettings settings = engine_.Settings();
    settings.server = server_->text();
    settings.port = static_cast<std::uint16_t>(port_->text().toUInt() & 0xFFFF);
    settings.fromAddress = from_->text();
    settings.toAddress = to_->text();
    settings.subject = subject_->text();
    settings.filename = filename_->text();
    engine_.SetSettings(settings);
}

void CSMTP::ShowSettings()
{
    const SmtpSettings& settings = engine_.Settings();
    const QSignalBlocker serverBlocker(server_), portBlocker(port_), fromBlocker(from_), toBlocker(to_),
        subjectBlocker(subject_), filenameBlocker(filename_);
    server_->setText(settings.server);
    port_->setText(QString::number(settings.port));
    from_->setText(settings.fromAddress);
    to_->setText(settings.toAddress);
    subject_->setText(settings.subject);
    filename_->setText(settings.filename);
}
