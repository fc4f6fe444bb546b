// The numbers of the upgrade's texts within a language's block of the string
// table (upgrade_texts.rc), named after what the English text says. Unscoped
// and int-based, because the texts are looked up and passed on as plain
// numbers. Free of platform headers.
#pragma once

namespace au {

enum TextId : int {
    // "Application update wizard": the caption of the component's message boxes.
    kTextUpdateWizard = 0,
    kTextDownloadingFiles = 1,     // "Downloading files..."
    kTextUpgradeCompleted = 2,     // "Upgrade completed!"
    kTextCurrentFile = 3,          // "Current file"
    kTextAllFiles = 4,             // "All files"
    kTextDownloadingFileFrom = 5,  // "Downloading file from"
    kTextFileSize = 6,             // "File size: %.1f Kb"
    kTextTransferRate = 7,         // "Transfer rate: %.1f Kb/s"
    kTextTimeLeft = 8,             // "Estimated time left: %d:%.2d:%.2d"
    kTextDownloadingNumber = 9,    // "Downloading %d of %d"
    kTextRestartNote = 10,         // "The update of %s has been successfully completed. ... restart program."
    kTextEnterPassword = 11,       // "Enter password"
    kTextUserName = 12,            // "User Name"
    kTextPassword = 13,            // "Password"
    kTextYes = 14,                 // "&Yes"
    kTextNo = 15,                  // "&No"
    kTextOK = 16,                  // "&OK"
    kTextCancel = 17,              // "&Cancel"
    kTextNext = 18,                // "&Next >"
    kTextLater = 19,               // "&Later"
    kTextWarning = 20,             // "Warning"
    kTextError = 21,               // "Error"
    kTextPreparing = 22,           // "Preparing. . ."
    kTextNewerVersionQuestion = 23,  // "A newer version of %s was released. ... update your version ...?"
    kTextNoNewerVersion = 24,      // "Newer version not found. ..."
    kTextNoInfoFile = 25,          // "File which contains upgrade information was not found ..."
    kTextHostUnreachable = 26,     // "Host %s unreachable. ..."
    kTextAbortQuestion = 27,       // "The update is not completed. Would you like to abort upgrading?"
    kTextFileNotFound = 28,        // "File %s not found or inaccessible. ... skip this file and continue ...?"
    kTextPasswordProtected = 29,   // "Access to remote file "%s" is password protected. ..."
    kTextConnectionLost = 30,      // "Connection with remote server lost. ..."
    kTextCount = 31
};

} // namespace au
