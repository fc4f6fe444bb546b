#include "upgrade/upgrade_pictures.h"

namespace au {

HBITMAP UpgradePicture(UpgradePictureId id) {
    // Loaded once and kept: every window that shows one takes its own copy.
    static const HBITMAP logo = static_cast<HBITMAP>(
        ::LoadImageW(::GetModuleHandleW(nullptr), L"AUPICLOGO", IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    static const HBITMAP side = static_cast<HBITMAP>(
        ::LoadImageW(::GetModuleHandleW(nullptr), L"AUPICSIDE", IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    return id == UpgradePictureId::Logo ? logo : side;
}

HICON UpgradePasswordIcon() {
    static const HICON icon =
        static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), L"AUPICPASSWORD", IMAGE_ICON, 32, 32, 0));
    return icon;
}

} // namespace au
