#include "NetworkCameraDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

NetworkCameraDialog::NetworkCameraDialog(Taker taker, QWidget* parent)
    : QDialog(parent), taker_(std::move(taker))
{
    setObjectName(QStringLiteral("NetworkCameraDialog"));
    setWindowTitle(tr("Add Network Camera"));
    name_ = new QLineEdit(this);
    name_->setMaxLength(int(NetworkCamera::MaxNameLength));
    url_ = new QLineEdit(this);
    url_->setMaxLength(int(NetworkCamera::MaxUrlLength));
    url_->setPlaceholderText(QStringLiteral("rtsp://192.168.1.20:554/stream1"));
    user_ = new QLineEdit(this);
    user_->setMaxLength(int(NetworkCamera::MaxCredentialLength));
    password_ = new QLineEdit(this);
    password_->setMaxLength(int(NetworkCamera::MaxCredentialLength));
    password_->setEchoMode(QLineEdit::Password);
    trouble_ = new QLabel(this);
    trouble_->setWordWrap(true);
    trouble_->setStyleSheet(QStringLiteral("color: #b00000"));
    trouble_->hide();

    auto* form = new QFormLayout;
    form->addRow(tr("Name:"), name_);
    form->addRow(tr("Address (URL):"), url_);
    form->addRow(tr("User name:"), user_);
    form->addRow(tr("Password:"), password_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &NetworkCameraDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &NetworkCameraDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(trouble_);
    layout->addWidget(buttons);
}

QString NetworkCameraDialog::TroubleText() const
{
    return trouble_->isHidden() ? QString() : trouble_->text();
}

void NetworkCameraDialog::accept()
{
    const NetworkCamera camera{name_->text(), url_->text(), user_->text(), password_->text()};
    const QString trouble = taker_ ? taker_(camera) : QString();
    if (!trouble.isEmpty()) {
        trouble_->setText(trouble);
        trouble_->show();
        return;
    }
    QDialog::accept();
}
