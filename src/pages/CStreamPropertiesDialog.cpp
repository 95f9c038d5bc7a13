#include "CStreamPropertiesDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

CStreamPropertiesDialog::CStreamPropertiesDialog(const QList<CaptureFormat>& formats,
                                                 const CaptureFormat& current, QWidget* parent)
    : QDialog(parent), formats_(formats)
{
    setWindowTitle(QStringLiteral("Stream Properties"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Format:"), this));
    list_ = new QListWidget(this);
    list_->setMinimumSize(320, 200);
    for (const CaptureFormat& format : formats_)
        list_->addItem(format.Text());
    // Without a stored format the device's default is in force: its first format.
    const qsizetype selected = current.IsEmpty() ? 0 : formats_.indexOf(current);
    if (selected >= 0 && selected < formats_.size())
        list_->setCurrentRow(static_cast<int>(selected));
    layout->addWidget(list_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    layout->addWidget(buttons);
}

CStreamPropertiesDialog::~CStreamPropertiesDialog() = default;

CaptureFormat CStreamPropertiesDialog::Chosen() const
{
    const int row = list_->currentRow();
    return row >= 0 && row < formats_.size() ? formats_[row] : CaptureFormat();
}
