#include "net/login_component.h"

#include <windows.h>

#include "net/http_rules.h"
#include "win/error.h"
#include "win/strings.h"

namespace au {

std::optional<std::string> TauLoginComponent::LInfo() const {
    if (username_.empty() && password_.empty()) return std::nullopt;
    auto record = EncodeLoginRecord(win::ToAnsi(username_), win::ToAnsi(password_));
    if (!record) throw win::Error(L"the user name and password are too long to be stored", ERROR_INVALID_PARAMETER);
    return record;
}

bool TauLoginComponent::ReadLInfo(const std::string& record) {
    std::string user, password;
    if (!DecodeLoginRecord(record, user, password)) return false;
    username_ = win::FromAnsi(user);
    password_ = win::FromAnsi(password);
    return true;
}

} // namespace au
