// win::ToAnsi and win::FromAnsi for the native build: code page 936 through
// glibc's iconv, the ANSI code page the Windows suite runs under, so the same
// tests expect the same bytes. Characters the code page lacks become '?', as
// the platform's default conversion gives them.
#include <iconv.h>

#include <string>

#include "win/strings.h"

namespace win {
namespace {

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts one unit at a time so a unit that fails is replaced alone.
    template <typename In, typename Out>
    Out Run(const In& text, typename Out::value_type substitute) {
        Out out;
        if (cd_ == reinterpret_cast<iconv_t>(-1)) return out;
        for (size_t i = 0; i < text.size();) {
            // A double-byte character needs its lead and trail byte together.
            size_t take = 1;
            if constexpr (sizeof(typename In::value_type) == 1)
                if (static_cast<unsigned char>(text[i]) >= 0x81 && i + 1 < text.size()) take = 2;
            char* in = const_cast<char*>(reinterpret_cast<const char*>(text.data() + i));
            size_t inLeft = take * sizeof(typename In::value_type);
            typename Out::value_type buf[8];
            char* o = reinterpret_cast<char*>(buf);
            size_t outLeft = sizeof buf;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd_, &in, &inLeft, &o, &outLeft) == static_cast<size_t>(-1) || inLeft != 0)
                out.push_back(substitute);
            else
                out.append(buf, (sizeof buf - outLeft) / sizeof(typename Out::value_type));
            i += take;
        }
        return out;
    }

private:
    iconv_t cd_;
};

} // namespace

std::string ToAnsi(const std::wstring& text) {
    return Converter("CP936", "WCHAR_T").Run<std::wstring, std::string>(text, '?');
}

std::wstring FromAnsi(const std::string& text) {
    return Converter("WCHAR_T", "CP936").Run<std::string, std::wstring>(text, L'?');
}

} // namespace win
