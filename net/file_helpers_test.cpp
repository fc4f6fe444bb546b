#include "net/file_helpers.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "net/streams.h"
#include "win/strings.h"

using namespace au;

namespace {

std::wstring TestFile(const wchar_t* name, const std::string& content) {
    const std::wstring path = win::ExeDir() + name;
    FileStream::Create(path).Write(content.data(), content.size());
    return path;
}

struct Times {
    FILETIME created, accessed, modified;
};

Times TimesOf(const std::wstring& path) {
    Times t{};
    ::GetFileTime(FileStream::OpenRead(path).Handle(), &t.created, &t.accessed, &t.modified);
    return t;
}

bool Same(const FILETIME& a, const FILETIME& b) { return ::CompareFileTime(&a, &b) == 0; }

} // namespace

TEST(AuFileTimes, LocalTimesStoredAsWrittenToTwoSeconds) {
    const std::wstring path = TestFile(L"au_times.txt", "t");
    const Times before = TimesOf(path);
    const DateTime created = *EncodeDate(2010, 12, 31) + *EncodeTime(23, 59, 58);
    ASSERT_TRUE(SetFileTimes(path, created, *EncodeDate(2001, 2, 3) + *EncodeTime(4, 5, 7), -1));
    const Times after = TimesOf(path);
    // Read back without any zone conversion; the suite's zone is not UTC, so
    // a conversion on the way in would show.
    SYSTEMTIME m{};
    ::FileTimeToSystemTime(&after.modified, &m);
    EXPECT_EQ(std::vector<int>({m.wYear, m.wMonth, m.wDay, m.wHour, m.wMinute, m.wSecond}),
              std::vector<int>({2001, 2, 3, 4, 5, 6}));
    EXPECT_TRUE(Same(after.accessed, before.accessed));
    // Wine's files keep no creation time of their own (it reads back as the
    // last write); where they do, it is the one given.
    if (!Same(after.created, after.modified)) {
        SYSTEMTIME c{};
        ::FileTimeToSystemTime(&after.created, &c);
        EXPECT_EQ(std::vector<int>({c.wYear, c.wHour, c.wSecond}), std::vector<int>({2010, 23, 58}));
    }
    // Values that cannot be packed leave their time alone.
    ASSERT_TRUE(SetFileTimes(path, *EncodeDate(1970, 1, 1), *EncodeDate(2200, 1, 1), -1));
    const Times same = TimesOf(path);
    EXPECT_TRUE(Same(same.created, after.created) && Same(same.modified, after.modified));
    ::DeleteFileW(path.c_str());
    EXPECT_FALSE(SetFileTimes(path, 40000, 40000, 40000));
}

TEST(AuFileSize, SizeOrMinusOne) {
    const std::wstring path = TestFile(L"au_size.bin", std::string(12345, 'z'));
    {
        // Others may hold the file open for writing.
        FileStream writer(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
        EXPECT_EQ(GetFileSizeByName(path), 12345);
    }
    ::DeleteFileW(path.c_str());
    EXPECT_EQ(GetFileSizeByName(path), -1);
}

TEST(AuResource, AllBytesAppendedToTheStream) {
    struct RefusingStream : MemoryStream {
        void Write(const void*, size_t) override { throw std::runtime_error("disk full"); }
    } refusing;
    const HMODULE self = ::GetModuleHandleW(nullptr);
    MemoryStream stream;
    stream.Write("<<", 2);
    ASSERT_TRUE(SaveResourceToStream(self, L"AUTESTDATA", L"AUTESTTYPE", &stream));
    EXPECT_EQ(std::string(stream.Bytes().begin(), stream.Bytes().end()), "<<resource payload 0123456789");
    EXPECT_FALSE(SaveResourceToStream(self, L"AUTESTDATA", L"AUTESTTYPE", nullptr));
    EXPECT_FALSE(SaveResourceToStream(self, L"AUNOSUCH", L"AUTESTTYPE", &stream));
    EXPECT_FALSE(SaveResourceToStream(self, L"AUTESTDATA", L"AUTESTTYPE", &refusing));
}

namespace {

HWND MakeWindow(bool visible) {
    static const wchar_t* cls = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"AuCloseTest";
        ::RegisterClassW(&wc);
        return L"AuCloseTest";
    }();
    return ::CreateWindowExW(0, cls, L"main", WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0), 0, 0, 100, 100,
                             nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
}

bool QuitPosted() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message == WM_QUIT) return true;
    return false;
}

} // namespace

TEST(AuCloseApplication, ClosesTheMainWindowAndEndsTheLoop) {
    const HWND given = MakeWindow(true);
    CloseApplication(given);
    EXPECT_FALSE(::IsWindow(given));
    EXPECT_TRUE(QuitPosted());
    // Without a window: the thread's visible one, not a hidden helper.
    const HWND hidden = MakeWindow(false), main = MakeWindow(true);
    CloseApplication();
    EXPECT_FALSE(::IsWindow(main));
    EXPECT_TRUE(::IsWindow(hidden));
    EXPECT_TRUE(QuitPosted());
    ::DestroyWindow(hidden);
}
