// The dialog texts of the upgrade, loaded from the program's string table.
#pragma once
#include <string>

#include "upgrade/upgrade_types.h"

namespace au {

// Text `index` (0 to 30) in the language (wlAuto: as the system chooses);
// the English text when the language has none, empty when neither is there.
std::wstring UpgradeText(TauAutoUpgraderLanguage language, int index);

} // namespace au
