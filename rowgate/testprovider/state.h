// Process-wide state the tp_ exports report.
#pragma once
#include <memory>
#include <string>

#include "datafile.h"

namespace tp {

void SetLastErrorText(const std::wstring& text);
std::wstring LastErrorText();
void SetLastStore(const std::shared_ptr<Store>& store);
std::shared_ptr<Store> LastStore();
std::string RecordedText();
int RecordedCount();
std::string CallLogText();
void ResetRecording();

} // namespace tp
