// The value types of the upgrade component: how versions are compared, how an
// update is applied, which built-in messages it shows and in which language.
// Free of platform headers.
#pragma once
#include <cstdint>
#include <initializer_list>

namespace au {

enum TauAutoUpgraderVersionControl { byDate, byNumber };

enum TacMiscFilesUpgradeBehavior { mfuAlwaysDownload, mfuOnlyIfSizeDifferent };

// The ordinal is the digit the restart command line carries.
enum TacUpgradeMethod { umSelfUpgrade, umUseExternalSetup, umRedirectToURL };

enum TauAutoUpgraderShowMessage {
    mAskUpgrade,
    mConnLost,
    mHostUnreachable,
    mLostFile,
    mNoInfoFile,
    mNoUpdateAvailable,
    mPasswordRequest
};

// A set of TauAutoUpgraderShowMessage.
class TauAutoUpgraderShowMessages {
public:
    constexpr TauAutoUpgraderShowMessages() = default;
    constexpr TauAutoUpgraderShowMessages(std::initializer_list<TauAutoUpgraderShowMessage> members) {
        for (auto m : members) bits_ |= Bit(m);
    }
    constexpr bool Contains(TauAutoUpgraderShowMessage m) const { return (bits_ & Bit(m)) != 0; }
    constexpr void Include(TauAutoUpgraderShowMessage m) { bits_ |= Bit(m); }
    constexpr void Exclude(TauAutoUpgraderShowMessage m) { bits_ &= ~Bit(m); }
    constexpr bool operator==(const TauAutoUpgraderShowMessages&) const = default;

private:
    static constexpr uint32_t Bit(TauAutoUpgraderShowMessage m) { return 1u << static_cast<unsigned>(m); }
    uint32_t bits_ = 0;
};

inline constexpr TauAutoUpgraderShowMessages kDefaultShowMessages{mAskUpgrade, mConnLost, mLostFile,
                                                                  mPasswordRequest};

// The dialog languages; the ordinal of a language is its place k (1 to 25)
// in the string table.
enum TauAutoUpgraderLanguage {
    wlAuto,
    wlEnglish,
    wlRussian,
    wlGerman,
    wlFrench,
    wlSpanish,
    wlPortuguese,
    wlPortugueseBrazilian,
    wlItalian,
    wlDutch,
    wlDanish,
    wlSwedish,
    wlFinnish,
    wlEstonian,
    wlUkrainian,
    wlCzech,
    wlHungarian,
    wlRomanian,
    wlCatalan,
    wlBasque,
    wlAfrikaans,
    wlChineseTraditional,
    wlChineseSimplified,
    wlIndonesian,
    wlMalay,
    wlIcelandic
};

inline constexpr int kLanguageCount = 25;

} // namespace au
