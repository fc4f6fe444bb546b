#include "file_helpers.h"

#include "streams.h"
#include "win/handles.h"

namespace au {
namespace {

// The file time of a local date-time, taken as it stands: the packed date
// and time carry no zone, and none is applied.
bool ToFileTime(DateTime value, FILETIME& time) {
    if (value == -1) return false;
    const auto dos = ToDosDateTime(value);
    return dos && ::DosDateTimeToFileTime(dos->date, dos->time, &time);
}

BOOL CALLBACK FindMainWindow(HWND window, LPARAM found) {
    if (::IsWindowVisible(window) && !::GetWindow(window, GW_OWNER)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

bool SetFileTimes(const std::wstring& fileName, DateTime created, DateTime modified, DateTime accessed) noexcept {
    win::UniqueHFile file(::CreateFileW(fileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    // A time that is not replaced is passed as none, which leaves it as the
    // file has it.
    FILETIME c, m, a;
    const bool setCreated = ToFileTime(created, c), setModified = ToFileTime(modified, m),
               setAccessed = ToFileTime(accessed, a);
    return ::SetFileTime(file.get(), setCreated ? &c : nullptr, setAccessed ? &a : nullptr,
                         setModified ? &m : nullptr) != FALSE;
}

int64_t GetFileSizeByName(const std::wstring& fileName) noexcept {
    win::UniqueHFile file(::CreateFileW(fileName.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size;
    if (!file || !::GetFileSizeEx(file.get(), &size)) return -1;
    return size.QuadPart;
}

bool SaveResourceToStream(HMODULE module, const wchar_t* name, const wchar_t* type, Stream* stream) noexcept {
    if (!stream) return false;
    // Loaded resources belong to the module and are not freed one by one.
    const HRSRC info = ::FindResourceW(module, name, type);
    if (!info) return false;
    const DWORD size = ::SizeofResource(module, info);
    const HGLOBAL loaded = ::LoadResource(module, info);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes || size == 0) return false;
    try {
        stream->Write(bytes, size);
        return true;
    } catch (...) {
        return false;
    }
}

void CloseApplication(HWND mainWindow) noexcept {
    if (!mainWindow) ::EnumThreadWindows(::GetCurrentThreadId(), FindMainWindow, reinterpret_cast<LPARAM>(&mainWindow));
    if (mainWindow && ::IsWindow(mainWindow)) ::SendMessageW(mainWindow, WM_CLOSE, 0, 0);
    ::PostQuitMessage(0);
}

} // namespace au
