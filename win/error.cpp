#include "error.h"

#include <windows.h>

#include "strings.h"

namespace win {

Error::Error(std::wstring message) : message_(std::move(message)), ansi_(ToAnsi(message_)) {}

void RaiseSystemError(unsigned long code) { throw Error(SystemMessage(code)); }
void RaiseLastError() { RaiseSystemError(::GetLastError()); }

} // namespace win
