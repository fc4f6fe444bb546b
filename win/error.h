// The error type raised by the program's own code. Its message is UTF-16 text
// shown to the user as it stands; its code is the platform's error code or
// HRESULT behind it (0 when there is none), so callers can tell failures
// apart without reading the text.
#pragma once
#include <cstdint>
#include <exception>
#include <string>

namespace win {

class Error : public std::exception {
public:
    explicit Error(std::wstring message, uint32_t code = 0);
    const std::wstring& Message() const noexcept { return message_; }
    uint32_t Code() const noexcept { return code_; }
    const char* what() const noexcept override { return ansi_.c_str(); }

private:
    std::wstring message_;
    std::string ansi_;
    uint32_t code_;
};

// The text to show for an error of any kind: a win::Error's own message,
// otherwise what() read in the ANSI code page.
std::wstring MessageOf(const std::exception& e);

// An Error carrying the platform's message text for the given code.
[[noreturn]] void RaiseSystemError(uint32_t code);
[[noreturn]] void RaiseLastError();
// The same for a failed HRESULT.
[[noreturn]] void RaiseHResult(long hr);

} // namespace win
