// Shift-JIS as Japanese Windows writes it (code page 932, with the NEC and IBM
// extensions): the code page of the price file and of the catalogue files.
// The conversion works with any Qt, ICU or not: on Windows it is the system's
// own code page 932 conversion, whatever the user's ANSI code page; elsewhere
// Qt's codec, which is ICU's.  Both read the same bytes as the same text,
// faults included, apart from three control bytes ICU swaps (0x1A, 0x1C and
// 0x7F read as U+001C, U+007F and U+001A there, as themselves on Windows).
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace ShiftJis {

// The text of `bytes`.  A byte that starts no character (0x80, 0xA0,
// 0xFD to 0xFF) reads as U+001A, and so does a lead byte whose next byte
// cannot follow it (that byte is then read on its own); a well-formed pair
// the code page leaves unassigned reads as U+FFFD; a lead byte that ends the
// bytes is dropped.  EConvertError when this build has no conversion.
QString Decode(QByteArrayView bytes);

// `text` in Shift-JIS.  A character the code page lacks becomes the
// system's substitute for it.  EConvertError when this build has no conversion.
QByteArray Encode(QStringView text);

}  // namespace ShiftJis
