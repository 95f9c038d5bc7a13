#pragma once

#include "sources/NetworkCamera.h"

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;

// "Add network camera...": a name, the stream's address, and a user name and password kept
// apart from it. OK hands the camera on; what the taker refuses it for is shown, and the dialog
// stays open to mend it.
class NetworkCameraDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NetworkCameraDialog)

public:
    // The taker answers why it refuses the camera, or nothing once it has it.
    using Taker = std::function<QString(const NetworkCamera&)>;
    NetworkCameraDialog(Taker taker, QWidget* parent = nullptr);

    QLineEdit* NameEdit() const { return name_; }
    QLineEdit* UrlEdit() const { return url_; }
    QLineEdit* UserEdit() const { return user_; }
    QLineEdit* PasswordEdit() const { return password_; }
    QString TroubleText() const;

    void accept() override;

private:
    Taker taker_;
    QLineEdit* name_ = nullptr;
    QLineEdit* url_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLabel* trouble_ = nullptr;
};
