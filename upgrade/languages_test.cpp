// The language a system selects, where its texts lie, and how the texts'
// placeholders are filled.
#include "upgrade/languages.h"

#include <gtest/gtest.h>

namespace au {
namespace {

constexpr uint16_t Lang(uint16_t primary, uint16_t sub) { return static_cast<uint16_t>(sub << 10 | primary); }

TEST(AuUpgradeLanguage, SystemLanguageChoosesTheTablesFirstMatch) {
    EXPECT_EQ(LanguageForSystem(Lang(4, 2)), wlChineseSimplified) << "zh-CN";
    EXPECT_EQ(LanguageForSystem(Lang(4, 1)), wlChineseTraditional) << "zh-TW";
    EXPECT_EQ(LanguageForSystem(Lang(4, 3)), wlChineseTraditional) << "zh-HK";
    EXPECT_EQ(LanguageForSystem(Lang(4, 4)), wlChineseTraditional) << "zh-SG is not told apart";
    EXPECT_EQ(LanguageForSystem(Lang(22, 1)), wlPortugueseBrazilian);
    EXPECT_EQ(LanguageForSystem(Lang(22, 2)), wlPortuguese);
    EXPECT_EQ(LanguageForSystem(Lang(9, 1)), wlEnglish);
    EXPECT_EQ(LanguageForSystem(Lang(9, 2)), wlEnglish);
    EXPECT_EQ(LanguageForSystem(Lang(7, 1)), wlGerman);
    EXPECT_EQ(LanguageForSystem(Lang(25, 1)), wlRussian);
    EXPECT_EQ(LanguageForSystem(Lang(62, 1)), wlMalay);
    EXPECT_EQ(LanguageForSystem(Lang(15, 1)), wlIcelandic);
    EXPECT_EQ(LanguageForSystem(Lang(17, 1)), wlEnglish) << "Japanese is not in the table";
    EXPECT_EQ(LanguageForSystem(0), wlEnglish);
}

TEST(AuUpgradeLanguage, TextsOfLanguageKStartAt41000Plus50PerLanguage) {
    EXPECT_EQ(TextResourceId(wlEnglish, kTextUpdateWizard), 41000u);
    EXPECT_EQ(TextResourceId(wlEnglish, kTextConnectionLost), 41030u);
    EXPECT_EQ(TextResourceId(wlRussian, kTextUpdateWizard), 41050u);
    EXPECT_EQ(TextResourceId(wlChineseSimplified, kTextYes), 42064u);
    EXPECT_EQ(TextResourceId(wlIcelandic, kTextConnectionLost), 42230u);
}

TEST(AuUpgradeLanguage, PlaceholdersAreFilledInOrder) {
    EXPECT_EQ(FillPlaceholders(L"File size: %.1f Kb", {L"12.5"}), L"File size: 12.5 Kb");
    EXPECT_EQ(FillPlaceholders(L"Estimated time left: %d:%.2d:%.2d", {L"1", L"02", L"03"}),
              L"Estimated time left: 1:02:03");
    EXPECT_EQ(FillPlaceholders(L"%s已经有新版本推出，\n%s\n", {L"Q", L"msg"}), L"Q已经有新版本推出，\nmsg\n");
    EXPECT_EQ(FillPlaceholders(L"100%% of %s", {L"x"}), L"100% of x");
    EXPECT_EQ(FillPlaceholders(L"%s and %s", {L"a"}), L"a and %s") << "a placeholder without a value stays";
    EXPECT_EQ(FillPlaceholders(L"%x %", {L"a"}), L"%x %") << "not a placeholder";
    EXPECT_EQ(FillPlaceholders(L"%s", {L"%d"}), L"%d") << "values are not read for placeholders";
    EXPECT_EQ(OneDecimal(1536.0 / 1024), L"1.5");
    EXPECT_EQ(OneDecimal(0), L"0.0");
    EXPECT_EQ(TimeParts(3725), (std::vector<std::wstring>{L"1", L"02", L"05"}));
    EXPECT_EQ(TimeParts(59), (std::vector<std::wstring>{L"0", L"00", L"59"}));
    EXPECT_EQ(TimeParts(-1), (std::vector<std::wstring>{L"0", L"00", L"00"}));
    EXPECT_EQ(TimeParts(360000), (std::vector<std::wstring>{L"100", L"00", L"00"}));
    EXPECT_EQ(PlaceholdersOf(L"%d:%.2d:%.2d %s %.1f %% %x"),
              (std::vector<std::wstring>{L"%d", L"%.2d", L"%.2d", L"%s", L"%.1f"}));
}

} // namespace
} // namespace au
