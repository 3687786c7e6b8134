// Text for a standard stream that a Japanese Windows console shows as it is:
// into a console it goes as UTF-16 (the console's code page does not matter);
// into a file, a pipe or anything on another system as UTF-8 bytes.
#pragma once

#include <QString>
#include <cstdio>

// Writes `text` to `stream` and flushes it; false when not all of it went.
bool WriteText(std::FILE* stream, const QString& text);
