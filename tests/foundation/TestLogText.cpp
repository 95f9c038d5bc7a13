#include "LogText.h"

#include <gtest/gtest.h>

TEST(LogText, NoNameCanPassForAnotherOrTurnTheLineAround)
{
    // A literal backslash is doubled: "\x41" in a name never reads like a stray byte.
    EXPECT_EQ(FileNameForDisplay("back\\x41slash.jpg"), "back\\\\x41slash.jpg");
    EXPECT_EQ(FileNameForDisplay("back\xff.jpg"), "back\\xff.jpg");
    EXPECT_NE(FileNameForDisplay("a\\xff"), FileNameForDisplay("a\xff"));
    // Direction overrides would show a line other than it reads ("gpj.exe" as "exe.jpg").
    const QString rlo = QString::fromUtf8("photo\u202Egpj.exe");
    EXPECT_EQ(EscapeControlCharacters(rlo), "photo\\u202egpj.exe");
    EXPECT_EQ(EscapeControlCharacters(QString::fromUtf8("a\u2066b\u2069")), "a\\u2066b\\u2069");
    EXPECT_EQ(EscapeControlCharacters(QString::fromUtf8("Grüße 東京")), QString::fromUtf8("Grüße 東京"));
}
