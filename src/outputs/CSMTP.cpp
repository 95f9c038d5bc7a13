#include "CSMTP.h"

#include <QDeadlineTimer>

#include "CSMTPWindowThread.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

CSMTP::CSMTP(const Clock& clock, QWidget* parent, const SmtpLimits& limits)
    : CPage(parent), clock_(clock), limits_(limits)
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

CSMTP::~CSMTP()
{
    for (const auto& thread : threads_) {
        thread->quit();
        thread->wait();
    }
}

void CSMTP::LoadSettings(const SettingsList& list)
{
    settings_ = SmtpSettings::Read(list);
    ShowSettings();
}

void CSMTP::SaveSettings(SettingsList& list) const
{
    settings_.Write(list);
}

void CSMTP::ApplyPage()
{
    settings_.server = server_->text();
    settings_.port = static_cast<std::uint16_t>(port_->text().toUInt() & 0xFFFF);
    settings_.fromAddress = from_->text();
    settings_.toAddress = to_->text();
    settings_.subject = subject_->text();
    settings_.filename = filename_->text();
}

void CSMTP::ShowSettings()
{
    const QSignalBlocker serverBlocker(server_), portBlocker(port_), fromBlocker(from_), toBlocker(to_),
        subjectBlocker(subject_), filenameBlocker(filename_);
    server_->setText(settings_.server);
    port_->setText(QString::number(settings_.port));
    from_->setText(settings_.fromAddress);
    to_->setText(settings_.toAddress);
    subject_->setText(settings_.subject);
    filename_->setText(settings_.filename);
}

void CSMTP::ResetFailed()
{
    int failed = static_cast<int>(OutputState::Failed);
    state_.compare_exchange_strong(failed, static_cast<int>(OutputState::Idle));
}

void CSMTP::ReapFinished()
{
    for (auto it = threads_.begin(); it != threads_.end();) {
        if ((*it)->isFinished()) {
            (*it)->wait();
            it = threads_.erase(it);
        } else {
            ++it;
        }
    }
}

bool CSMTP::FinishForExit(int timeoutMs)
{
    QDeadlineTimer deadline(std::max(timeoutMs, 0));
    for (const auto& thread : threads_)
        thread->quit();
    bool finished = true;
    for (const auto& thread : threads_)
        finished = thread->wait(deadline) && finished;
    if (finished)
        threads_.clear();
    return finished;
}

int CSMTP::RunningMailings()
{
    ReapFinished();
    return static_cast<int>(threads_.size());
}

void CSMTP::SendMail(const ImageFrame& image, QObject* notify)
{
    ReapFinished();
    if (State() == OutputState::Busy)
        return;
    state_ = static_cast<int>(OutputState::Busy);
    // An older mailing may still be waiting for its server to close: they share nothing.
    auto& thread = threads_.emplace_back(
        std::make_unique<CSMTPWindowThread>(settings_, image.SharedCopy(), notify, state_, clock_, limits_));
    thread->start();
}
