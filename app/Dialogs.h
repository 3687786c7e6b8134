// The window side of the message, question and file-dialog seams
// (base/Messages.h, base/FileDialogs.h): the real modal message, question and
// file dialog boxes the program installs at start, and the wait cursor of a
// command.
#pragma once

#include "base/FileDialogs.h"
#include "base/Messages.h"

#include <QString>

class QWidget;

// Gives a box or dialog the font and colours of the window it belongs to
// (a window of its own inherits neither): those of `owner`, else of the
// program's shown main window.  Every box and dialog below takes them.
void TakeOwnersLook(QWidget* dialog, const QWidget* owner);

// Shows a modal box with the text and an OK button and returns when it is
// closed: the sink the program installs with SetMessageSink.
void ShowMessageBox(const QString& text);

// Shows a modal file dialog for the request and returns the user's answer:
// the sink the program installs with SetFileDialogSink.  A save dialog adds
// the first filter's extension to a name typed without one and asks before
// it replaces a file.
TFileAnswer ShowFileDialog(const TFileRequest& request);

// The toolkit's own texts (the file dialog's labels and buttons, its
// questions) in Japanese, where Qt's Japanese translation is installed.
void UseJapaneseToolkitTexts();

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
