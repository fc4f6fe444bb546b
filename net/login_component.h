// The credentials of a requested resource, and their stored form: one
// binary property "LInfo" that exists only while a name or password is set.
#pragma once
#include <optional>
#include <string>

namespace au {

class TauLoginComponent {
public:
    virtual ~TauLoginComponent() = default;

    const std::wstring& Username() const noexcept { return username_; }
    void SetUsername(std::wstring value) { username_ = std::move(value); }
    const std::wstring& Password() const noexcept { return password_; }
    void SetPassword(std::wstring value) { password_ = std::move(value); }

    // The "LInfo" record, nullopt when there is nothing to store. Raises
    // win::Error when the two do not fit the record's 254 bytes.
    std::optional<std::string> LInfo() const;
    // Takes the names from a stored record; false (and nothing changed) for
    // a record that is damaged.
    bool ReadLInfo(const std::string& record);

private:
    std::wstring username_;
    std::wstring password_;
};

} // namespace au
