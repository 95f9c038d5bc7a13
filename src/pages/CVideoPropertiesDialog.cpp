#include "CVideoPropertiesDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

CVideoPropertiesDialog::CVideoPropertiesDialog(const QList<CaptureControl>& controls, Apply apply,
                                               QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Video Properties"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    for (const CaptureControl& control : controls) {
        auto* slider = new QSlider(Qt::Horizontal, this);
        slider->setObjectName(control.name);
        slider->setRange(control.minimum, control.maximum);
        slider->setValue(control.value);
        slider->setMinimumWidth(240);
        auto* value = new QLabel(QString::number(control.value), this);
        value->setMinimumWidth(48);
        auto* row = new QHBoxLayout;
        row->addWidget(slider);
        row->addWidget(value);
        // The label text is a device's own name ("BRIGHTNESS", "Brightness"): shown as given.
        form->addRow(control.name, row);
        connect(slider, &QSlider::valueChanged, this, [apply, name = control.name, value](int v) {
            value->setText(QString::number(v));
            if (apply)
                apply(name, v);
        });
    }
    if (controls.isEmpty())
        form->addRow(new QLabel(QStringLiteral("This device has no picture controls."), this));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

CVideoPropertiesDialog::~CVideoPropertiesDialog() = default;

QSlider* CVideoPropertiesDialog::Slider(const QString& name) const
{
    return findChild<QSlider*>(name);
}
