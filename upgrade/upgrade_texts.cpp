#include "upgrade/upgrade_texts.h"

#include <windows.h>

#include "upgrade/languages.h"

namespace au {
namespace {

bool TryLoad(TauAutoUpgraderLanguage language, int index, std::wstring& text) {
    const wchar_t* resource = nullptr;
    // With no buffer size the platform hands out the resource itself, so a
    // text of any length is read whole.
    const int length = ::LoadStringW(::GetModuleHandleW(nullptr), TextResourceId(language, index),
                                     reinterpret_cast<LPWSTR>(&resource), 0);
    if (length <= 0 || !resource) return false;
    text.assign(resource, static_cast<size_t>(length));
    return true;
}

} // namespace

std::wstring UpgradeText(TauAutoUpgraderLanguage language, int index) {
    if (language == wlAuto) language = LanguageForSystem(::GetSystemDefaultLangID());
    std::wstring text;
    if (TryLoad(language, index, text) || TryLoad(wlEnglish, index, text)) return text;
    return {};
}

} // namespace au
