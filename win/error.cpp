#include "error.h"

#include <windows.h>

#include "strings.h"

namespace win {

Error::Error(std::wstring message, uint32_t code)
    : message_(std::move(message)), ansi_(ToAnsi(message_)), code_(code) {}

std::wstring MessageOf(const std::exception& e) {
    if (auto* err = dynamic_cast<const Error*>(&e)) return err->Message();
    return FromAnsi(e.what());
}

void RaiseSystemError(uint32_t code) { throw Error(SystemMessage(code), code); }
void RaiseLastError() { RaiseSystemError(::GetLastError()); }
void RaiseHResult(long hr) { throw Error(SystemMessage(static_cast<uint32_t>(hr)), static_cast<uint32_t>(hr)); }

} // namespace win
