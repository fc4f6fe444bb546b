// The user's regional settings as the program shows times.
#pragma once
#include <string>

namespace win {

// The separator between hours, minutes and seconds the user has chosen
// (LOCALE_STIME); ":" when the platform gives none. Read on every call.
std::wstring LocaleTimeSeparator();

} // namespace win
