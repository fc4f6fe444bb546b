#include "conn_text.h"

#include <gtest/gtest.h>

using rowgate::FilterConnectionText;

TEST(RowgateConnText, KeepsConnectionItemsInProviderOrder) {
    EXPECT_EQ(FilterConnectionText("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\db\\a.mdb;Mode=Share Deny None;"
                                   "Extended Properties=\"\";Persist Security Info=False"),
              "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\db\\a.mdb;Persist Security Info=False");
}

TEST(RowgateConnText, ItemsFollowTheProviderNotTheKeyTable) {
    EXPECT_EQ(FilterConnectionText("User ID=sa;Provider=SQLOLEDB;Initial Catalog=tax"),
              "User ID=sa;Provider=SQLOLEDB;Initial Catalog=tax");
}

TEST(RowgateConnText, EmptyQuotedValuesDropOnlyForSomeKeys) {
    EXPECT_EQ(FilterConnectionText("Provider=P;Data Source=\"\";Jet OLEDB:Database Password=\"\""),
              "Provider=P;Jet OLEDB:Database Password=\"\"");
    EXPECT_EQ(FilterConnectionText("Provider=P;Initial Catalog=\"\";Password=\"\""), "Provider=P;Password=\"\"");
    // Only exactly two quotes count as empty.
    EXPECT_EQ(FilterConnectionText("Data Source=\" \""), "Data Source=\" \"");
}

TEST(RowgateConnText, QuotedValueHoldingSemicolonStaysOneItem) {
    EXPECT_EQ(FilterConnectionText("Provider=Microsoft.Jet.OLEDB.4.0;Extended Properties=\"Excel 8.0;HDR=Yes\";"
                                   "Persist Security Info=False"),
              "Provider=Microsoft.Jet.OLEDB.4.0;Extended Properties=\"Excel 8.0;HDR=Yes\";Persist Security Info=False");
    EXPECT_EQ(FilterConnectionText("Extended Properties=\"a;b;c\""), "Extended Properties=\"a;b;c\"");
}

TEST(RowgateConnText, QuoteWithoutClosingQuoteSplitsAtSemicolon) {
    EXPECT_EQ(FilterConnectionText("Data Source=\"abc;Provider=P"), "Data Source=\"abc;Provider=P");
}

TEST(RowgateConnText, KeysAreCaseSensitive) {
    EXPECT_EQ(FilterConnectionText("provider=P;Data Source=x"), "Data Source=x");
    EXPECT_EQ(FilterConnectionText("PROVIDER=P;data source=x"), "");
}

TEST(RowgateConnText, PrefixMatchesLongerKeys) {
    EXPECT_EQ(FilterConnectionText("Persist Security Info=True;Integrated Security=SSPI"),
              "Persist Security Info=True;Integrated Security=SSPI");
    // A key is a prefix test, so "Provider" also keeps "ProviderX=...".
    EXPECT_EQ(FilterConnectionText("ProviderX=1;Mode=Read"), "ProviderX=1");
}

TEST(RowgateConnText, DropsUnknownItems) {
    EXPECT_EQ(FilterConnectionText("Mode=Read;Locale Identifier=2052;Prompt=4"), "");
    EXPECT_EQ(FilterConnectionText(""), "");
}

TEST(RowgateConnText, EmptyItemsAndTrailingSemicolon) {
    EXPECT_EQ(FilterConnectionText("Provider=P;;Data Source=d;"), "Provider=P;Data Source=d");
    EXPECT_EQ(FilterConnectionText("Extended Properties=\"x;y\";User ID=u"),
              "Extended Properties=\"x;y\";User ID=u");
}

TEST(RowgateConnText, SameInputSameOutput) {
    const std::string raw = "Provider=P;Data Source=C:\\a b\\c.txt;Password=pw;Mode=Read";
    EXPECT_EQ(FilterConnectionText(raw), FilterConnectionText(raw));
    EXPECT_EQ(FilterConnectionText(raw), "Provider=P;Data Source=C:\\a b\\c.txt;Password=pw");
}
