// The dialog texts of the upgrade, loaded from the program's string table.
#pragma once
#include <string>

#include "upgrade/text_ids.h"
#include "upgrade/upgrade_types.h"

namespace au {

// Text `index` (a TextId) in the language (wlAuto: as the system chooses);
// the English text when the language has none, empty when neither is there.
std::wstring UpgradeText(TauAutoUpgraderLanguage language, int index);

} // namespace au
