#pragma once

#include "Utils/Classes/CPage.h"

// The "About" page: the program's name, version and icon.
class CAbout final : public Utils::Classes::CPage
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CAbout)

public:
    explicit CAbout(QWidget* parent = nullptr);

    // "major.minor.patch.tweak" of this build.
    static QString VersionText();
};
