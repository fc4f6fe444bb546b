// Steps of the logger below the public calls, and the seams tests need to
// drive them. Nothing outside log/ should include this.
#pragma once
#include <functional>
#include <string>

#include "log/log4me.h"
#include "log/log4me_format.h"

void LoadLogSettings();
void WriteLogLine(const std::string& taggedMessage);
void AppendLogText(const std::string& fileName, const std::string& text);

namespace log4me {

// Closes the open file and forgets all state, as if the process had just
// started and not yet loaded settings.
void ResetForTests();

// Replaces the local clock; an empty function restores the real one.
void SetClockForTests(std::function<Stamp()> clock);

Switches CurrentSwitchesForTests();

} // namespace log4me
