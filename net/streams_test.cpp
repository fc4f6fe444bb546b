#include "net/streams.h"

#include <gtest/gtest.h>

#include <functional>

#include "win/error.h"
#include "win/strings.h"

using namespace au;

namespace {

std::string ReadAll(Stream& s) {
    s.SetPosition(0);
    std::string out(static_cast<size_t>(s.Size()) + 4, '\0');
    out.resize(s.Read(out.data(), out.size()));
    return out;
}

uint32_t CodeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const win::Error& e) {
        return e.Code();
    }
    return 0;
}

} // namespace

TEST(AuStreams, MemoryWritesReadsAndSeeks) {
    MemoryStream m;
    m.Write("hello world", 11);
    EXPECT_EQ(m.Seek(-5, SeekOrigin::End), 6);
    m.Write("WORLD!", 6);
    EXPECT_EQ(ReadAll(m), "hello WORLD!");
    // Past the end a write leaves zeros in the gap.
    m.Seek(2, SeekOrigin::End);
    m.Write("x", 1);
    EXPECT_EQ(ReadAll(m), std::string("hello WORLD!\0\0x", 15));
    m.SetSize(5);
    EXPECT_EQ(m.Position(), 5);
    EXPECT_EQ(std::string(m.Data(), m.Data() + m.Size()), "hello");
    EXPECT_EQ(CodeOf([&] { m.Seek(-6, SeekOrigin::Current); }), static_cast<uint32_t>(ERROR_NEGATIVE_SEEK));
    EXPECT_EQ(m.Position(), 5);
}

TEST(AuStreams, FileWritesReadsAndSizes) {
    const std::wstring path = win::ExeDir() + L"au_stream.bin";
    {
        FileStream f = FileStream::Create(path);
        f.Write("0123456789", 10);
        f.SetPosition(8);
        f.SetSize(4);
        EXPECT_EQ(f.Position(), 4);
        f.Seek(2, SeekOrigin::Current);
        f.Write("ab", 2);
        EXPECT_EQ(ReadAll(f), std::string("0123\0\0ab", 8));
        // Created for this writer alone.
        EXPECT_EQ(CodeOf([&] { FileStream::OpenRead(path); }), static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
    }
    {
        FileStream r = FileStream::OpenRead(path);
        EXPECT_EQ(r.Size(), 8);
        EXPECT_NE(CodeOf([&] { r.Write("z", 1); }), 0u);
    }
    // The handle went with the stream: the file can be deleted at once.
    EXPECT_TRUE(::DeleteFileW(path.c_str()));
    EXPECT_EQ(CodeOf([&] { FileStream::OpenRead(path); }), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(CodeOf([&] { FileStream::Create(path + L"\\no\\f"); }), static_cast<uint32_t>(ERROR_PATH_NOT_FOUND));
}
