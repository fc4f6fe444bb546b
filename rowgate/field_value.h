// The tagged value record callers receive, and its conversions to text and
// to a real number. Free of platform headers so it can be tested directly.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace rowgate {

enum FieldKind : int32_t {
    kEmpty = 0,
    kNull = 1,
    kInt32Alt = 2,
    kInt8 = 3,
    kShort = 4,
    kLong = 5,
    kUInt8 = 6,
    kInt16Alt = 7,
    kGuidHead = 8,
    kReal = 9,
    kDate = 10,
    kTime = 11,
    kDateTime = 12,
    kCurrency = 13,
    kText = 14,
    kBytes = 15,
    kObject = 16,
};

// Something a record may own beyond plain bytes.
struct FieldObject {
    virtual ~FieldObject() = default;
};

// Set in FieldValue::flags when an integer came from an unsigned column, so
// that its text and real keep the column's sign rather than guessing.
inline constexpr uint32_t kFlagUnsigned = 1;

// Callers see this layout: the kind, then the payload on an 8-byte boundary.
// The word between them carries flags for our own conversions. In the 32-bit
// DLL the payload is 8 bytes (16 in all); a 64-bit build keeps kind and
// payload where they are and widens the payload to 16 bytes (24 in all),
// since the text pointer alone takes 8 with its length after it.
struct FieldValue {
    int32_t kind;
    uint32_t flags;
    union alignas(8) Payload {
        int8_t i8;
        int16_t i16;
        int32_t i32;
        double real;
        struct {
            char* ptr;
            uint32_t len;
        } text;
        FieldObject* object;
    } u;
};
inline constexpr size_t kFieldValueSize = sizeof(void*) == 4 ? 16 : 24;
inline constexpr size_t kFieldValueTextLenOffset = sizeof(void*) == 4 ? 12 : 16;
static_assert(sizeof(FieldValue) == kFieldValueSize);
static_assert(offsetof(FieldValue, u) == 8);
static_assert(offsetof(FieldValue, u.text.len) == kFieldValueTextLenOffset);

// Frees what the record owns and leaves it of kind empty.
void FvClear(FieldValue& v) noexcept;
void FvSetNull(FieldValue& v) noexcept;
void FvSetShort(FieldValue& v, int16_t x, bool isUnsigned) noexcept;
void FvSetLong(FieldValue& v, int32_t x, bool isUnsigned) noexcept;
void FvSetGuidHead(FieldValue& v, int32_t x) noexcept;
void FvSetDouble(FieldValue& v, FieldKind kind, double x) noexcept;
// An empty text is stored without memory (null pointer, length 0).
// Returns false (record left empty) when memory runs out.
bool FvSetText(FieldValue& v, std::string_view text) noexcept;
// Takes ownership of a heap block allocated by FvAllocText.
void FvAdoptText(FieldValue& v, char* text, uint32_t len) noexcept;
char* FvAllocText(size_t len) noexcept;

// In-place conversions used by the text and float exports.
void FvToText(FieldValue& v) noexcept;

// The text FvToText would give, written into buf without a terminator; its
// length, or -1 for kinds that stay as they are (text and byte blocks).
inline constexpr size_t kFormatBufferSize = 400;
int FvFormat(const FieldValue& v, char* buf) noexcept;
void FvToReal(FieldValue& v) noexcept;
double FvRealOf(const FieldValue& v) noexcept;

// Text of a record as it stands (kind 14); empty for anything else.
std::string_view FvText(const FieldValue& v) noexcept;

// OLE Automation dates: days since 1899-12-30, fraction = time of day.
// Invalid parts give 0.0, as the platform's date-time type treats them.
double EncodeOleDate(int year, int month, int day) noexcept;
double EncodeOleTime(int hour, int minute, int second) noexcept;
double EncodeOleDateTime(int year, int month, int day, int hour, int minute, int second) noexcept;

struct DateParts {
    int year, month, day, hour, minute, second;
};
// False for values outside the years 1 to 9999 or not a number.
bool DecodeOleDate(double d, DateParts& out) noexcept;

// Text of date parts as the date, time or date-time kinds print them; empty
// outside the years 100 to 9999.
int FormatDateParts(const DateParts& p, bool date, bool time, char* buf) noexcept;
// Whether the parts form a date and time the platform's type accepts.
bool ValidDateTimeParts(const DateParts& p) noexcept;
// "%f" of a double, no terminator; at most kFormatBufferSize - 1 characters.
int FormatReal(double x, char* buf) noexcept;
// Decimal text of an integer, no terminator; at most 24 characters.
template <typename T>
int FormatInteger(T x, char* buf) noexcept;

// Limits a fetched real: tiny magnitudes and not-a-number read as 0.
double CleanReal(double x) noexcept;

} // namespace rowgate
