// Byte streams of the HTTP unit: the body of a transfer goes into memory or
// into a file, and the events hand the stream on. Write, Seek and SetSize
// raise win::Error when the medium refuses; Read answers with a count.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "win/handles.h"

namespace au {

enum class SeekOrigin { Begin, Current, End };

class Stream {
public:
    virtual ~Stream() = default;

    // Up to `count` bytes from the position on; fewer at the end.
    virtual size_t Read(void* buffer, size_t count) = 0;
    // All `count` bytes at the position, growing the stream as needed.
    virtual void Write(const void* buffer, size_t count) = 0;
    // The new position; a position before the start raises.
    virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
    virtual int64_t Size() const = 0;
    // Cuts or extends the stream; a position past the new end moves to it.
    virtual void SetSize(int64_t size) = 0;

    int64_t Position() { return Seek(0, SeekOrigin::Current); }
    void SetPosition(int64_t position) { Seek(position, SeekOrigin::Begin); }
};

class MemoryStream : public Stream {
public:
    size_t Read(void* buffer, size_t count) override;
    void Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t Size() const override { return static_cast<int64_t>(bytes_.size()); }
    void SetSize(int64_t size) override;

    // Empties the stream and rewinds it.
    void Clear() noexcept;
    // Room for `capacity` bytes in advance, so writing up to it never moves
    // the data; raises std::bad_alloc when memory cannot hold it.
    void Reserve(size_t capacity) { bytes_.reserve(capacity); }
    const uint8_t* Data() const noexcept { return bytes_.data(); }
    uint8_t* Data() noexcept { return bytes_.data(); }
    const std::vector<uint8_t>& Bytes() const noexcept { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    size_t position_ = 0;
};

class FileStream : public Stream {
public:
    // CreateFileW with these arguments; raises win::Error with the
    // platform's code when the file cannot be opened.
    FileStream(const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
               DWORD flagsAndAttributes = FILE_ATTRIBUTE_NORMAL);
    // An existing file for reading, others may read and write it.
    static FileStream OpenRead(const std::wstring& path);
    // A new empty file (an old one replaced) for writing alone.
    static FileStream Create(const std::wstring& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL);

    size_t Read(void* buffer, size_t count) override;
    void Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t Size() const override;
    void SetSize(int64_t size) override;

    HANDLE Handle() const noexcept { return file_.get(); }

private:
    std::wstring path_;
    win::UniqueHFile file_;
};

} // namespace au
