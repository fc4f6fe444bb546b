// The dialog languages: which one a system language selects, and where each
// language's texts lie in the string table. Free of platform headers.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "upgrade/text_ids.h"
#include "upgrade/upgrade_types.h"

namespace au {

// The language wlAuto stands for on a system whose default language
// identifier is `languageId`: its low 10 bits are the primary language, the
// rest the sub-language. Portuguese of Brazil and Simplified Chinese are
// told apart by their sub-language; otherwise the first language with the
// same primary identifier, and English when none has it.
TauAutoUpgraderLanguage LanguageForSystem(uint16_t languageId);

// The platform's primary language identifier of a language (9 for English);
// 0 for wlAuto.
uint16_t PrimaryLanguageId(TauAutoUpgraderLanguage language);

// The string identifier of text `index` (a TextId) of a language (not
// wlAuto): 41000 + 50 * (k - 1) + index, k being the language's place.
uint32_t TextResourceId(TauAutoUpgraderLanguage language, int index);

} // namespace au

namespace au {

// The text with its placeholders ("%s", "%d", "%.2d", "%.1f") replaced, in
// order, by the given values, which the caller has already written out; a
// placeholder without a value stays as it is, and "%%" is one "%". The
// translations keep the English order of placeholders, so filling by
// position is safe.
std::wstring FillPlaceholders(const std::wstring& format, const std::vector<std::wstring>& values);

// "%.1f" of a value, as the wizard writes sizes and rates.
std::wstring OneDecimal(double value);
// What "%d:%.2d:%.2d" shows of a count of seconds: hours, then minutes and
// seconds of two digits.
std::vector<std::wstring> TimeParts(int32_t seconds);

// The placeholders of a text in order ("%s", "%.1f", ...).
std::vector<std::wstring> PlaceholdersOf(const std::wstring& text);

} // namespace au
