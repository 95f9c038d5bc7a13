#include "ResultCodes.h"
#include "SystemErrorText.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

TEST(SystemErrorText, ErrnoValuesAndWrappedCodes)
{
    EXPECT_EQ(SystemErrorText(ENOENT), QString::fromLocal8Bit(std::strerror(ENOENT)));
    EXPECT_EQ(SystemErrorText(Result::FromErrno(EACCES)), QString::fromLocal8Bit(std::strerror(EACCES)));
    EXPECT_EQ(Result::ToErrno(Result::FromErrno(ENOSPC)), ENOSPC);
    EXPECT_LT(Result::FromErrno(ENOSPC), 0);
}

TEST(SystemErrorText, GenericCodesHaveTheirOwnTexts)
{
    EXPECT_EQ(SystemErrorText(Result::GenericFailure), "Unspecified error");
    EXPECT_FALSE(SystemErrorText(Result::OutOfMemory).startsWith("0x"));
    EXPECT_EQ(Result::ToErrno(Result::OutOfMemory), 0) << "not an errno in disguise";
}

TEST(SystemErrorText, UnknownCodesAreHex)
{
    EXPECT_EQ(SystemErrorText(static_cast<ResultCode>(0x80123456u)), "0x80123456");
    EXPECT_EQ(SystemErrorText(99999), "0x0001869f");
    EXPECT_EQ(SystemErrorText(4000), "0x00000fa0") << "glibc has no text for it";
}
