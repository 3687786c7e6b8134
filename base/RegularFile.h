// Whole-file reads of the files the program is given by name (the price
// file, the catalogue files).  Only a regular file is read: a directory, a
// FIFO, a device or a socket under that name is refused before it is opened,
// and the file is opened without blocking and checked once more, so that
// nothing the name stands for can make the program wait or read for ever.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

enum class TPathKind { Missing, Regular, Directory, Fifo, Device, Socket, Other };

// What the path names, symbolic links followed; a link to nothing is Missing.
// `reason` receives a Japanese text when the path cannot even be looked at
// (the kind is then Other).
TPathKind PathKindOf(const QString& path, QString* reason = nullptr);

// What a path that is not a regular file stands for: "通常のファイルではなく
// ディレクトリです" and so on; "ファイルがありません" for Missing.
QString PathKindText(TPathKind kind);

// The whole contents of the regular file at `path`.  No value for anything
// else, with the reason in Japanese in `reason` ("ファイルがありません",
// "通常のファイルではなくディレクトリです", "読み取りの権限がありません", ...).
std::optional<QByteArray> ReadRegularFile(const QString& path, QString& reason);
