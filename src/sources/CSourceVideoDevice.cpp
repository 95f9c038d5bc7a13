#include "CSourceVideoDevice.h"

#include <QLabel>
#include <QVBoxLayout>

CSourceVideoDevice::CSourceVideoDevice(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("SourceVideoDevice"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addStretch(1);
}
