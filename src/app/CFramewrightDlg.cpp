#include "CFramewrightDlg.h"

#include "CConfiguration.h"

#include <QVBoxLayout>

CFramewrightDlg::CFramewrightDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Pixlet"));
    auto* layout = new QVBoxLayout(this);
    configuration_ = new CConfiguration(this);
    for (const QString& title : CConfiguration::PageTitles()) {
        auto* page = new QWidget(configuration_);
        page->setObjectName(title);
        configuration_->addTab(page, title);
    }
    layout->addWidget(configuration_);
    resize(640, 480);
}

CFramewrightDlg::~CFramewrightDlg() = default;
