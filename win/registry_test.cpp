#include "win/registry.h"

#include <gtest/gtest.h>

#include <vector>

#include "win/error.h"

namespace {

const wchar_t kTestKey[] = L"Software\\QuilletTest\\Registry";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey); }
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey); }
};

TEST_F(RegistryTest, OpenWithoutCreateFailsForMissingKey) {
    win::Registry reg;
    EXPECT_FALSE(reg.TryOpenKey(kTestKey, false));
    EXPECT_TRUE(reg.TryOpenKey(kTestKey, true));
    win::Registry again;
    EXPECT_TRUE(again.TryOpenKey(kTestKey, false));
}

TEST_F(RegistryTest, TypedChecksRejectOtherTypesAndSizes) {
    win::Registry reg;
    ASSERT_TRUE(reg.TryOpenKey(kTestKey, true));
    reg.WriteString(L"s", L"0");
    reg.WriteDword(L"d", 0);
    unsigned long long wide = 0;
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kTestKey, L"q", REG_DWORD, &wide, sizeof(wide)), ERROR_SUCCESS);
    EXPECT_TRUE(reg.TryMatchDword(L"d", 0));
    EXPECT_FALSE(reg.TryMatchDword(L"d", 2));
    EXPECT_FALSE(reg.TryMatchDword(L"s", 0));
    EXPECT_FALSE(reg.TryMatchDword(L"q", 0));
    EXPECT_FALSE(reg.TryMatchDword(L"missing", 0));
    EXPECT_TRUE(reg.TryMatchString(L"s", L"0"));
    EXPECT_FALSE(reg.TryMatchString(L"d", L"0"));
    EXPECT_THROW(reg.ReadDword(L"s"), win::Error);
    EXPECT_THROW(reg.ReadString(L"d"), win::Error);
    EXPECT_EQ(reg.ReadString(L"missing"), L"");
}

TEST_F(RegistryTest, ReadsStringsStoredWithoutTerminator) {
    win::Registry reg;
    ASSERT_TRUE(reg.TryOpenKey(kTestKey, true));
    const wchar_t raw[] = {L'a', L'b', L'c'};
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kTestKey, L"raw", REG_SZ, raw, sizeof(raw)), ERROR_SUCCESS);
    EXPECT_EQ(reg.ReadString(L"raw"), L"abc");
}

TEST_F(RegistryTest, RefusedWriteRaisesAndWritesNothing) {
    win::Registry reg;
    ASSERT_TRUE(reg.TryOpenKey(kTestKey, true));
    struct RefuseOne : win::Registry::WriteGate {
        LONG Check(const std::wstring& name) override {
            return name == L"refused" ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
        }
    } refuse;
    win::Registry::ScopedWriteGate gate(refuse);
    EXPECT_THROW(reg.WriteDword(L"refused", 1), win::Error);
    try {
        reg.WriteDword(L"refused", 1);
    } catch (const win::Error& e) {
        EXPECT_EQ(e.Code(), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
    }
    EXPECT_FALSE(reg.TryValueExists(L"refused"));
    EXPECT_NO_THROW(reg.WriteDword(L"fine", 1));
    EXPECT_TRUE(reg.TryMatchDword(L"fine", 1));
}

TEST_F(RegistryTest, GateLeavesWithItsScopeAndTheOneBeforeComesBack) {
    win::Registry reg;
    ASSERT_TRUE(reg.TryOpenKey(kTestKey, true));
    struct Refuse : win::Registry::WriteGate {
        LONG code;
        std::vector<std::wstring> asked;
        explicit Refuse(LONG c) : code(c) {}
        LONG Check(const std::wstring& name) override {
            asked.push_back(name);
            return code;
        }
    } outer(ERROR_ACCESS_DENIED), inner(ERROR_WRITE_PROTECT);
    {
        win::Registry::ScopedWriteGate outerGate(outer);
        {
            win::Registry::ScopedWriteGate innerGate(inner);
            try {
                reg.WriteString(L"a", L"x");
                ADD_FAILURE() << "the inner gate let the write through";
            } catch (const win::Error& e) {
                EXPECT_EQ(e.Code(), static_cast<uint32_t>(ERROR_WRITE_PROTECT));
            }
        }
        try {
            reg.WriteDword(L"b", 1);
            ADD_FAILURE() << "the outer gate let the write through";
        } catch (const win::Error& e) {
            EXPECT_EQ(e.Code(), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
        }
    }
    EXPECT_EQ(inner.asked, std::vector<std::wstring>{L"a"});
    EXPECT_EQ(outer.asked, std::vector<std::wstring>{L"b"});
    EXPECT_NO_THROW(reg.WriteDword(L"c", 1));
    EXPECT_TRUE(reg.TryMatchDword(L"c", 1));
    EXPECT_FALSE(reg.TryValueExists(L"a"));
    EXPECT_FALSE(reg.TryValueExists(L"b"));
}

TEST_F(RegistryTest, RaisingOpenCarriesTheCodeAndTryReadsNeverRaise) {
    win::Registry reg;
    try {
        reg.OpenKey(kTestKey, false);
        ADD_FAILURE() << "opening a missing key did not raise";
    } catch (const win::Error& e) {
        EXPECT_EQ(e.Code(), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
    }
    EXPECT_FALSE(reg.HasOpenKey());
    EXPECT_EQ(reg.TryReadString(L"s"), std::nullopt);
    reg.OpenKey(kTestKey, true);
    reg.WriteString(L"s", L"text");
    reg.WriteDword(L"d", 7);
    EXPECT_EQ(reg.TryReadString(L"s"), std::optional<std::wstring>(L"text"));
    EXPECT_EQ(reg.TryReadString(L"d"), std::nullopt);
    EXPECT_EQ(reg.TryReadDword(L"d"), std::optional<DWORD>(7));
    EXPECT_EQ(reg.TryReadDword(L"s"), std::nullopt);
    EXPECT_EQ(reg.TryReadDword(L"missing"), std::nullopt);
}

} // namespace
