// The operating system's errors as the user reads them: one Japanese text
// for each error of a file the user can meet, the system's own text after it
// in brackets where a library passes that on.
#pragma once

#include <QString>

// The Japanese text of a system error number: "アクセスの権限がありません" for
// EACCES and EPERM, "ディスクの空き容量が足りません" for ENOSPC and EDQUOT, and so
// on; a number without one of its own gives "システムエラー (errno N)".
QString SystemErrorText(int errnum);

// The error number a library's error text stands for: the text the C
// library (strerror) or Qt (qt_error_string) writes for one of the numbers
// SystemErrorText names; on Windows, where Qt's texts are those of Windows
// error codes, the text of a code of the same meaning.  0 for any other text.
int ErrnoOfText(const QString& text);

// A reason for the user from a library's error text: the Japanese text of
// the number it stands for, or `otherwise` when it stands for none, followed
// by the library's text in brackets ("ディスクの空き容量が足りません (No space
// left on device)").  An empty text gives the Japanese alone.
QString SystemReason(const QString& text, const QString& otherwise);
