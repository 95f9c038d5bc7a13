#include "CConfiguration.h"
#include "CFramewrightDlg.h"

#include <gtest/gtest.h>

TEST(MainWindow, TenTabsInOrder)
{
    CFramewrightDlg dialog;
    CConfiguration* pages = dialog.Pages();
    ASSERT_EQ(pages->count(), 10);
    const QStringList expected = {"Control", "Source",  "Captions", "FTP",      "Email",
                                  "Archive", "Preview", "Log",      "Advanced", "About"};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(pages->tabText(i), expected[i]);
}
