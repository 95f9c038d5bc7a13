#include "CPlaceholderPage.h"

CPlaceholderPage::CPlaceholderPage(const QString& name, QWidget* parent) : CPage(parent)
{
    setObjectName(name);
}
