#pragma once

#include "Utils/Classes/CPage.h"

// Stands in for a page whose component is not built yet: its tab is there, it has no keys.
class CPlaceholderPage final : public Utils::Classes::CPage
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CPlaceholderPage)

public:
    explicit CPlaceholderPage(const QString& name, QWidget* parent = nullptr);
};
