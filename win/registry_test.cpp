#include "win/registry.h"

#include <gtest/gtest.h>

#include "win/error.h"

namespace {

const wchar_t kTestKey[] = L"Software\\QuilletTest\\Registry";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey); }
    void TearDown() override {
        win::Registry::SetWriteFault(nullptr);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
    }
};

TEST_F(RegistryTest, OpenWithoutCreateFailsForMissingKey) {
    win::Registry reg;
    EXPECT_FALSE(reg.OpenKey(kTestKey, false));
    EXPECT_TRUE(reg.OpenKey(kTestKey, true));
    win::Registry again;
    EXPECT_TRUE(again.OpenKey(kTestKey, false));
}

TEST_F(RegistryTest, TypedChecksRejectOtherTypesAndSizes) {
    win::Registry reg;
    ASSERT_TRUE(reg.OpenKey(kTestKey, true));
    reg.WriteString(L"s", L"0");
    reg.WriteDword(L"d", 0);
    unsigned long long wide = 0;
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kTestKey, L"q", REG_DWORD, &wide, sizeof(wide)), ERROR_SUCCESS);
    EXPECT_TRUE(reg.DwordIs(L"d", 0));
    EXPECT_FALSE(reg.DwordIs(L"d", 2));
    EXPECT_FALSE(reg.DwordIs(L"s", 0));
    EXPECT_FALSE(reg.DwordIs(L"q", 0));
    EXPECT_FALSE(reg.DwordIs(L"missing", 0));
    EXPECT_TRUE(reg.StringIs(L"s", L"0"));
    EXPECT_FALSE(reg.StringIs(L"d", L"0"));
    EXPECT_THROW(reg.ReadDword(L"s"), win::Error);
    EXPECT_THROW(reg.ReadString(L"d"), win::Error);
    EXPECT_EQ(reg.ReadString(L"missing"), L"");
}

TEST_F(RegistryTest, ReadsStringsStoredWithoutTerminator) {
    win::Registry reg;
    ASSERT_TRUE(reg.OpenKey(kTestKey, true));
    const wchar_t raw[] = {L'a', L'b', L'c'};
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kTestKey, L"raw", REG_SZ, raw, sizeof(raw)), ERROR_SUCCESS);
    EXPECT_EQ(reg.ReadString(L"raw"), L"abc");
}

TEST_F(RegistryTest, RefusedWriteRaisesAndWritesNothing) {
    win::Registry reg;
    ASSERT_TRUE(reg.OpenKey(kTestKey, true));
    win::Registry::SetWriteFault([](const std::wstring& name) {
        return name == L"refused" ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
    });
    EXPECT_THROW(reg.WriteDword(L"refused", 1), win::Error);
    EXPECT_FALSE(reg.ValueExists(L"refused"));
    EXPECT_NO_THROW(reg.WriteDword(L"fine", 1));
    EXPECT_TRUE(reg.DwordIs(L"fine", 1));
}

} // namespace
