#include "CFramewrightDlg.h"
#include "NamedMessages.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quellmoor Software"));
    QApplication::setApplicationName(QStringLiteral("Pixlet"));
    QApplication::setApplicationVersion(QStringLiteral(PIXLET_VERSION));
    // Every notification type exists before any window does.
    RegisterAllNamedMessages();

    CFramewrightDlg dialog;
    dialog.show();
    return app.exec();
}
