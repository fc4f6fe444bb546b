#include "win/hex_text.h"

#include <gtest/gtest.h>

TEST(HexText, EightDigitsAtLeastUpperCase) {
    EXPECT_EQ(win::HexText(0), "0x00000000");
    EXPECT_EQ(win::HexText(0x80004005u), "0x80004005");
    EXPECT_EQ(win::HexText(0xabcu), "0x00000ABC");
    EXPECT_EQ(win::HexText(0x1234567890ABCDEFull), "0x1234567890ABCDEF");
}

TEST(HexText, NegativeHResultShowsItsThirtyTwoBits) {
    const long hr = static_cast<long>(0x80040E14u);
    EXPECT_EQ(win::HexText(static_cast<std::uint32_t>(hr)), "0x80040E14");
}
