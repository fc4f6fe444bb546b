// Steps of the logger below the public calls. Nothing outside log/ should
// include this.
#pragma once
#include <string>

#include "log/log4me.h"
#include "log/log4me_format.h"

void LoadLogSettings();
void WriteLogLine(const std::string& taggedMessage);
void AppendLogText(const std::string& fileName, const std::string& text);
