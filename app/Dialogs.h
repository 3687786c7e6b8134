// The window side of the message seam (base/Messages.h): the real modal
// message and question boxes the program installs at start, and the wait
// cursor of a command.
#pragma once

#include "base/Messages.h"

#include <QString>

// Shows a modal box with the text and an OK button and returns when it is
// closed: the sink the program installs with SetMessageSink.
void ShowMessageBox(const QString& text);

// Asks in a modal box with the buttons "はい" and "いいえ"; true for はい
// ("いいえ" is the default, and what closing the box answers): the sink the
// program installs with SetQuestionSink.
bool AskQuestionBox(const QString& text);

// The wait cursor while a command runs (restored on every path).
class TWaitCursor {
public:
    TWaitCursor();
    ~TWaitCursor();
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};
