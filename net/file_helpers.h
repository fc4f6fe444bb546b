// File and resource utilities of the upgrade: file times, sizes, a resource
// copied into a stream, and closing the program. None of them raises.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "date_time.h"

namespace au {

class Stream;

// Sets the times of an existing file; a value of exactly -1, or one that
// cannot be packed into an MS-DOS date and time (before 1980, after 2107),
// leaves that time as it is. The values are local date-times, stored with
// two-second resolution and without any time-zone conversion. False when
// the file cannot be opened or the times cannot be written.
bool SetFileTimes(const std::wstring& fileName, DateTime created, DateTime modified, DateTime accessed) noexcept;

// The size of the file, -1 when it cannot be opened.
int64_t GetFileSizeByName(const std::wstring& fileName) noexcept;

// Writes all bytes of the resource to the stream. False when there is no
// stream, the resource is missing, cannot be loaded or is empty, or the
// write fails.
bool SaveResourceToStream(HMODULE module, const wchar_t* name, const wchar_t* type, Stream* stream) noexcept;

// Closes the program's main window, then ends the message loop of the
// calling thread. Without a window given, the main window is the first
// visible unowned top-level window of the calling thread.
void CloseApplication(HWND mainWindow = nullptr) noexcept;

} // namespace au
