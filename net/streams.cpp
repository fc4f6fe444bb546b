#include "streams.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "win/error.h"
#include "win/strings.h"

namespace au {
namespace {

// Larger requests go to the platform in pieces its DWORD counts can hold.
constexpr size_t kMaxChunk = 1u << 30;

[[noreturn]] void RaiseFileError(const std::wstring& what, const std::wstring& path, DWORD code) {
    throw win::Error(what + L" '" + path + L"': " + win::SystemMessage(code), code);
}

[[noreturn]] void RaiseNegativeSeek() {
    throw win::Error(win::SystemMessage(ERROR_NEGATIVE_SEEK), ERROR_NEGATIVE_SEEK);
}

} // namespace

// ---- memory ----------------------------------------------------------------

size_t MemoryStream::Read(void* buffer, size_t count) {
    if (position_ >= bytes_.size()) return 0;
    const size_t n = std::min(count, bytes_.size() - position_);
    std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += n;
    return n;
}

void MemoryStream::Write(const void* buffer, size_t count) {
    if (count == 0) return;
    if (count > bytes_.max_size() - position_) throw win::Error(L"Memory stream too large", ERROR_OUTOFMEMORY);
    // Writing past the end after a seek leaves zeros in the gap.
    if (position_ + count > bytes_.size()) bytes_.resize(position_ + count);
    std::memcpy(bytes_.data() + position_, buffer, count);
    position_ += count;
}

int64_t MemoryStream::Seek(int64_t offset, SeekOrigin origin) {
    const int64_t base = origin == SeekOrigin::Begin ? 0
                         : origin == SeekOrigin::Current ? static_cast<int64_t>(position_)
                                                         : static_cast<int64_t>(bytes_.size());
    if (offset < -base) RaiseNegativeSeek();
    if (offset > std::numeric_limits<int64_t>::max() - base) throw win::Error(L"Seek past any size", ERROR_SEEK);
    const int64_t target = base + offset;
    if (static_cast<uint64_t>(target) > std::numeric_limits<size_t>::max())
        throw win::Error(L"Seek past any size", ERROR_SEEK);
    position_ = static_cast<size_t>(target);
    return target;
}

void MemoryStream::SetSize(int64_t size) {
    if (size < 0) RaiseNegativeSeek();
    if (static_cast<uint64_t>(size) > bytes_.max_size())
        throw win::Error(L"Memory stream too large", ERROR_OUTOFMEMORY);
    bytes_.resize(static_cast<size_t>(size));
    position_ = std::min(position_, bytes_.size());
}

void MemoryStream::Clear() noexcept {
    bytes_.clear();
    bytes_.shrink_to_fit();
    position_ = 0;
}

// ---- file ------------------------------------------------------------------

FileStream::FileStream(const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
                       DWORD flagsAndAttributes)
    : path_(path),
      file_(::CreateFileW(path.c_str(), access, share, nullptr, disposition, flagsAndAttributes, nullptr)) {
    if (!file_) RaiseFileError(L"Cannot open file", path, ::GetLastError());
}

FileStream FileStream::OpenRead(const std::wstring& path) {
    return FileStream(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
}

FileStream FileStream::Create(const std::wstring& path, DWORD attributes) {
    return FileStream(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, attributes);
}

size_t FileStream::Read(void* buffer, size_t count) {
    auto* out = static_cast<uint8_t*>(buffer);
    size_t total = 0;
    while (total < count) {
        const DWORD want = static_cast<DWORD>(std::min(count - total, kMaxChunk));
        DWORD got = 0;
        if (!::ReadFile(file_.get(), out + total, want, &got, nullptr) || got == 0) break;
        total += got;
    }
    return total;
}

void FileStream::Write(const void* buffer, size_t count) {
    const auto* in = static_cast<const uint8_t*>(buffer);
    size_t total = 0;
    while (total < count) {
        const DWORD want = static_cast<DWORD>(std::min(count - total, kMaxChunk));
        DWORD put = 0;
        if (!::WriteFile(file_.get(), in + total, want, &put, nullptr))
            RaiseFileError(L"Cannot write to", path_, ::GetLastError());
        if (put == 0) RaiseFileError(L"Cannot write to", path_, ERROR_WRITE_FAULT);
        total += put;
    }
}

int64_t FileStream::Seek(int64_t offset, SeekOrigin origin) {
    const DWORD method = origin == SeekOrigin::Begin     ? FILE_BEGIN
                         : origin == SeekOrigin::Current ? FILE_CURRENT
                                                         : FILE_END;
    LARGE_INTEGER distance, moved;
    distance.QuadPart = offset;
    if (!::SetFilePointerEx(file_.get(), distance, &moved, method))
        RaiseFileError(L"Cannot seek in", path_, ::GetLastError());
    return moved.QuadPart;
}

int64_t FileStream::Size() const {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file_.get(), &size)) RaiseFileError(L"Cannot read the size of", path_, ::GetLastError());
    return size.QuadPart;
}

void FileStream::SetSize(int64_t size) {
    const int64_t position = Position();
    SetPosition(size);
    const bool cut = ::SetEndOfFile(file_.get()) != FALSE;
    const DWORD code = ::GetLastError();
    SetPosition(cut ? std::min(position, size) : position);
    if (!cut) RaiseFileError(L"Cannot set the size of", path_, code);
}

} // namespace au
