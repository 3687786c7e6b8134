#include "base/ShiftJis.h"

#include "base/Errors.h"

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <QStringDecoder>
#include <QStringEncoder>
#endif

namespace {

[[noreturn]] void NoConversion()
{
    throw EConvertError(QStringLiteral("このプログラムのビルドには Shift-JIS の文字コード変換がありません"));
}

}  // namespace

#ifdef Q_OS_WIN

namespace {

constexpr UINT kCodePage = 932;
constexpr char16_t kBadByte = 0x001A;    // what ICU reads a byte that starts nothing as
constexpr char16_t kUnassigned = 0xFFFD;
// The longest run given to the system at once (its lengths are ints).
constexpr qsizetype kMostRun = qsizetype(1) << 20;

bool IsLead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool IsTrail(unsigned char b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }
bool IsSingle(unsigned char b) { return b < 0x80 || (b >= 0xA1 && b <= 0xDF); }

// One character's bytes (one or two) as its UTF-16 unit; U+FFFD when the
// code page leaves it unassigned.
char16_t Unit(const char* bytes, int count)
{
    wchar_t unit = 0;
    if (MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, bytes, count, &unit, 1) != 1)
        return kUnassigned;
    return char16_t(unit);
}

// A run of whole characters (single bytes and well-formed pairs) appended at
// `out`: at once when every character is assigned, one by one otherwise.
// Every character of code page 932 is one UTF-16 unit.
void DecodeRun(const char* bytes, qsizetype size, char16_t*& out)
{
    if (size == 0)
        return;
    const int done = MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, bytes, int(size),
                                         reinterpret_cast<wchar_t*>(out), int(size));
    if (done > 0) {
        out += done;
        return;
    }
    for (qsizetype i = 0; i < size;) {
        const int count = IsLead(static_cast<unsigned char>(bytes[i])) ? 2 : 1;
        *out++ = Unit(bytes + i, count);
        i += count;
    }
}

}  // namespace

QString ShiftJis::Decode(QByteArrayView bytes)
{
    // Never more units than bytes.
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t* const begin = reinterpret_cast<char16_t*>(text.data());
    char16_t* out = begin;
    const char* const data = bytes.data();
    const qsizetype n = bytes.size();
    qsizetype run = 0;  // start of the run of whole characters not yet converted
    qsizetype i = 0;
    while (i < n) {
        const auto b = static_cast<unsigned char>(data[i]);
        if (i - run >= kMostRun) {
            DecodeRun(data + run, i - run, out);
            run = i;
        }
        if (IsSingle(b)) {
            ++i;
            continue;
        }
        if (IsLead(b) && i + 1 < n && IsTrail(static_cast<unsigned char>(data[i + 1]))) {
            i += 2;
            continue;
        }
        DecodeRun(data + run, i - run, out);
        if (!IsLead(b) || i + 1 < n)
            *out++ = kBadByte;  // a lead byte that ends the bytes is dropped
        run = ++i;
    }
    DecodeRun(data + run, n - run, out);
    text.truncate(out - begin);
    return text;
}

QByteArray ShiftJis::Encode(QStringView text)
{
    QByteArray bytes;
    const wchar_t* const data = reinterpret_cast<const wchar_t*>(text.utf16());
    for (qsizetype start = 0; start < text.size();) {
        qsizetype size = qMin(text.size() - start, kMostRun);
        if (size < text.size() - start && QChar::isHighSurrogate(text[start + size - 1].unicode()))
            --size;  // a surrogate pair stays whole
        const int need = WideCharToMultiByte(kCodePage, 0, data + start, int(size), nullptr, 0, nullptr, nullptr);
        if (need <= 0)
            NoConversion();
        const qsizetype at = bytes.size();
        bytes.resize(at + need);
        WideCharToMultiByte(kCodePage, 0, data + start, int(size), bytes.data() + at, need, nullptr, nullptr);
        start += size;
    }
    return bytes;
}

#else

QString ShiftJis::Decode(QByteArrayView bytes)
{
    QStringDecoder decoder("Shift_JIS");
    if (!decoder.isValid())
        NoConversion();
    return decoder.decode(bytes);
}

QByteArray ShiftJis::Encode(QStringView text)
{
    QStringEncoder encoder("Shift_JIS");
    if (!encoder.isValid())
        NoConversion();
    return encoder.encode(text);
}

#endif
