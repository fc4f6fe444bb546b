// The three repair operations of the one-click repair and their helpers.
#pragma once
#include <chrono>
#include <string>

#include "loglines.h"

// Sets the twelve ActiveX and scripting actions of the trusted-sites zone to
// allow. Raises win::Error with the registry failure text when the registry
// refuses.
bool EnableTrustedZoneActiveX(TLogLines& logs);

// Adds every entry of the comma-separated list to the trusted sites, one log
// line per entry. Raises like EnableTrustedZoneActiveX.
bool AddTrustedSites(TLogLines& logs, const std::wstring& sites);
bool AddTrustedSite(const std::wstring& entry, int position);
std::wstring ClassifyHost(const std::wstring& entry);

// Unregisters and re-registers the controls and script engines, then checks
// the required control class. Never raises: an error makes it return false.
bool RegisterControls(TLogLines& logs);

// Runs a command line hidden and waits for it. Raises win::Error when the pipe
// or the process cannot be created. A command still running after `limit` is
// ended; callers do not examine outcomes, so that is just a failed command.
void RunCommandHidden(const std::wstring& commandLine,
                      std::chrono::milliseconds limit = std::chrono::minutes(2));

bool IsControlRegistered();
