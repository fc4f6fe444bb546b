// What the transfer tests share: a component whose every event is written
// down (name, thread and the arguments worth checking), and a message pump
// that runs the window thread until the transfer has completed.
#pragma once
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/custom_http.h"
#include "net/testing/test_server.h"
#include "win/handles.h"

namespace au::testing {

// Runs the window thread's messages until `done` holds or `milliseconds`
// pass; false on the timeout.
inline bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds = 20000) {
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > milliseconds) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return true;
}

inline void PumpFor(DWORD milliseconds) {
    PumpUntil([] { return false; }, milliseconds);
}

struct StreamCopy {
    bool present = false;
    bool isFile = false;
    std::string bytes;
};

// The whole content of a stream handed to an event, its position kept.
inline StreamCopy CopyOf(Stream* stream) {
    StreamCopy copy;
    if (!stream) return copy;
    copy.present = true;
    copy.isFile = dynamic_cast<FileStream*>(stream) != nullptr;
    const int64_t position = stream->Position();
    stream->SetPosition(0);
    copy.bytes.resize(static_cast<size_t>(stream->Size()));
    copy.bytes.resize(stream->Read(copy.bytes.data(), copy.bytes.size()));
    stream->SetPosition(position);
    return copy;
}

class HttpTest : public ::testing::Test {
protected:
    void SetUp() override {
        mainThread = ::GetCurrentThreadId();
        tag = NewTag();
        http = std::make_unique<TauCustomHTTP>();
        Record(*http);
    }

    // Every completion event ends with this transfer's worker gone.
    bool Completed() const {
        return !http->Busy() && ::WaitForSingleObject(http->Thread().Handle(), 0) == WAIT_OBJECT_0;
    }

    // Starts a read of `url` and runs messages until it has completed.
    bool Fetch(const std::wstring& url, DWORD milliseconds = 20000) {
        http->SetURL(url);
        if (!http->Read()) return false;
        return PumpUntil([this] { return Completed(); }, milliseconds);
    }

    std::wstring Url(const std::wstring& query, const std::wstring& name = L"file.bin",
                     Scheme scheme = Scheme::Http) const {
        return TestUrl(tag, name, query, scheme);
    }

    // The events of the window thread, in order ("Progress" once per run of
    // progress events, so the order reads plainly).
    std::vector<std::string> Events() const { return events; }

    void Note(const std::string& name) {
        if (::GetCurrentThreadId() != mainThread) offThread.push_back(name);
        if (name == "Progress" && !events.empty() && events.back() == "Progress") return;
        events.push_back(name);
    }

    void Record(TauCustomHTTP& c) {
        c.OnHeaderInfo = [this](TauCustomHTTP*, const std::wstring& raw, const std::wstring& type,
                                const std::wstring&, const std::wstring&, const std::wstring& location,
                                uint32_t length, DateTime date, DateTime lastModified, DateTime, bool& go) {
            Note("HeaderInfo");
            header = {raw, type, location, length, date, lastModified};
            if (stopAtHeaders) go = false;
        };
        c.OnProgress = [this](TauCustomHTTP* sender, const std::wstring&, uint32_t size, uint32_t read, uint32_t,
                              int32_t, uint8_t percent, float, Stream* stream) {
            Note("Progress");
            progressCalls++;
            lastProgress = {size, read, percent};
            if (onProgress) onProgress(sender, stream);
        };
        c.OnDone = [this](TauCustomHTTP* sender, const std::wstring& type, uint32_t size, Stream* stream) {
            Note("Done");
            doneType = type;
            doneSize = size;
            body = CopyOf(stream);
            if (onDone) onDone(sender);
        };
        c.OnConnLost = [this](TauCustomHTTP*, const std::wstring&, uint32_t size, uint32_t read, Stream* stream) {
            Note("ConnLost");
            lostSize = size;
            lostRead = read;
            body = CopyOf(stream);
        };
        c.OnHTTPError = [this](TauCustomHTTP*, int32_t code, Stream* stream) {
            Note("HTTPError");
            errorCode = code;
            body = CopyOf(stream);
        };
        c.OnHostUnreachable = [this](TauCustomHTTP*) { Note("HostUnreachable"); };
        c.OnAnyError = [this](TauCustomHTTP*) { Note("AnyError"); };
        c.OnDoneInterrupted = [this](TauCustomHTTP*) { Note("DoneInterrupted"); };
        c.OnAborted = [this](TauCustomHTTP*) { Note("Aborted"); };
        c.OnWaitTimeoutExpired = [this](TauCustomHTTP*) { Note("WaitTimeoutExpired"); };
    }

    using Strings = std::vector<std::string>;

    DWORD mainThread = 0;
    std::wstring tag;
    std::unique_ptr<TauCustomHTTP> http;
    std::vector<std::string> events, offThread;
    bool stopAtHeaders = false;
    struct {
        std::wstring raw, type, location;
        uint32_t length = 0;
        DateTime date = 0, lastModified = 0;
    } header;
    struct {
        uint32_t size = 0, read = 0;
        uint8_t percent = 0;
    } lastProgress;
    int progressCalls = 0;
    std::function<void(TauCustomHTTP*, Stream*)> onProgress;
    std::function<void(TauCustomHTTP*)> onDone;
    std::wstring doneType;
    uint32_t doneSize = 0, lostSize = 0, lostRead = 0;
    int32_t errorCode = 0;
    StreamCopy body;
};

// The process's handles, threads and committed private memory.
struct Footprint {
    DWORD handles = 0;
    DWORD threads = 0;
    size_t privateBytes = 0;
};

inline Footprint Measure() {
    Footprint f;
    ::GetProcessHandleCount(::GetCurrentProcess(), &f.handles);
    if (f.handles == 0) {
        // Wine answers 0; count the handle values that are in use instead.
        DWORD flags = 0;
        for (uintptr_t value = 4; value < 0x20000; value += 4)
            if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++f.handles;
    }
    win::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry))
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ++f.threads;
    MEMORY_BASIC_INFORMATION region;
    for (const char* p = nullptr; ::VirtualQuery(p, &region, sizeof region) == sizeof region;
         p = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) f.privateBytes += region.RegionSize;
    }
    return f;
}

// A file of the test's own under the temporary directory, deleted with it.
class TempPath {
public:
    explicit TempPath(const std::wstring& name) {
        wchar_t dir[MAX_PATH];
        ::GetTempPathW(MAX_PATH, dir);
        path_ = std::wstring(dir) + name;
        ::SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(path_.c_str());
    }
    ~TempPath() {
        ::SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(path_.c_str());
    }
    const std::wstring& Path() const { return path_; }
    bool Exists() const { return ::GetFileAttributesW(path_.c_str()) != INVALID_FILE_ATTRIBUTES; }
    DWORD Attributes() const { return ::GetFileAttributesW(path_.c_str()); }
    std::string Read() const { return ReadFileBytes(path_); }

private:
    std::wstring path_;
};

} // namespace au::testing
