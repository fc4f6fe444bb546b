// Registers the test COM servers with the platform's regsvr32, for test
// fixtures.  The DLLs are looked for beside the running executable.
#pragma once
#include <string>

namespace rgtest {

// Runs "regsvr32.exe /s [/u] <dir of this exe>\<dllName>" and waits for it
// (at most 60 s).  True when it exited with 0; otherwise `error` says why.
bool RunRegsvr32(const std::wstring& dllName, bool unregister, std::wstring* error = nullptr);

bool RegisterTestProvider(std::wstring* error = nullptr);  // rgtestprov.dll
bool RegisterDataLinks(std::wstring* error = nullptr);     // rgdatalinks.dll
bool UnregisterDataLinks(std::wstring* error = nullptr);   // gives the prefix its own data links back
bool RegisterTestServers(std::wstring* error = nullptr);   // both

// Writes UTF-8 text to a fresh file in the temporary directory and returns
// its full path (empty on failure); handy for data files.
std::wstring WriteTempFile(const std::string& utf8, const std::wstring& prefix = L"rgt");

} // namespace rgtest
