#include "TestCameraPlugFile.h"

#include "TestCamera.h"
#include "TestCameraProvider.h"

#include <QFileInfo>

TestCameraPlugFile::TestCameraPlugFile(const QString& path, int intervalMs) : path_(path)
{
    timer_.callOnTimeout(this, &TestCameraPlugFile::Check);
    timer_.start(intervalMs);
    Check();
}

void TestCameraPlugFile::Check()
{
    // A stat a few times a second: cheap, and it works on any file system a script writes to.
    const bool present = QFileInfo::exists(path_);
    if (plugged_ == present)
        return;
    plugged_ = present;
    TestCameraProvider::SetPlugged(present);
}
