// The pictures of the upgrade dialogs, carried as resources of the program.
#pragma once
#include <windows.h>

namespace au {

enum class UpgradePictureId { Logo, Side };

// The bitmap, owned by the program for its whole run (loaded once); null
// when the program carries no such resource.
HBITMAP UpgradePicture(UpgradePictureId id);
// The password window's 32 x 32 icon; null when missing.
HICON UpgradePasswordIcon();

} // namespace au
