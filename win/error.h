// The error type raised by the program's own code. Its message is UTF-16 text
// shown to the user as it stands.
#pragma once
#include <exception>
#include <string>

namespace win {

class Error : public std::exception {
public:
    explicit Error(std::wstring message);
    const std::wstring& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return ansi_.c_str(); }

private:
    std::wstring message_;
    std::string ansi_;
};

// An Error carrying the platform's message text for the given code.
[[noreturn]] void RaiseSystemError(unsigned long code);
[[noreturn]] void RaiseLastError();

} // namespace win
