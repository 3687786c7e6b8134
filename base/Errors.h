// Exceptions of the program: one type per kind of error.  Every message is
// the Japanese text the user sees in the default handler's message box.
#pragma once

#include <QString>
#include <stdexcept>

// Base of every error the program raises itself; what() is UTF-8.
class EBrelvanError : public std::runtime_error {
public:
    explicit EBrelvanError(const QString& message)
        : std::runtime_error(message.toStdString()) {}
    QString Message() const { return QString::fromUtf8(what()); }
};

// An index outside an array, a slot outside 1..60, a window outside the data.
class ERangeError : public EBrelvanError { using EBrelvanError::EBrelvanError; };

// A text that does not convert to the number or date it must hold.
class EConvertError : public EBrelvanError { using EBrelvanError::EBrelvanError; };

// A statement or query the database rejected, or a database that cannot be opened.
class EDatabaseError : public EBrelvanError { using EBrelvanError::EBrelvanError; };

// The database file is held by another running program, as a second copy
// of this one finds it.
class EDatabaseInUse : public EDatabaseError { using EDatabaseError::EDatabaseError; };

// A file that cannot be found, opened, read or written.
class EFileError : public EBrelvanError { using EBrelvanError::EBrelvanError; };
