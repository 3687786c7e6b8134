// The one seam for modal messages and questions, and the default handler for errors that
// an operation lets through.  The program installs the real message box at
// start (app/Dialogs.h); the headless driver and the tests install sinks of
// their own.  Nothing else opens a message box.
#pragma once

#include <QString>
#include <exception>
#include <functional>
#include <stdexcept>

using TMessageSink = std::function<void(const QString&)>;

// Hands the text to the installed sink and returns when the sink does (the
// message box: when it is closed).  With no sink installed the text goes to
// standard error, one line.
void ShowMessage(const QString& text);

// Installs a sink for every message; an empty sink sends messages to
// standard error.  Returns the sink that was installed before.
TMessageSink SetMessageSink(TMessageSink sink);

// A question with the answers yes and no, through the seam as the messages
// go: the installed sink asks it (the program's: a modal box) and returns
// true for yes.  With no sink installed the text goes to standard error and
// the answer is yes: nobody is there to object.
using TQuestionSink = std::function<bool(const QString&)>;
bool AskYesNo(const QString& text);
TQuestionSink SetQuestionSink(TQuestionSink sink);

// The default handler: shows the error's message and counts it.  A message
// without a Japanese word (a standard library's) follows a Japanese text.
void HandleException(const std::exception& error);

// How many errors have reached the default handler since the program started.
int UnhandledErrorCount();

// Runs an event handler so that no exception escapes into the toolkit.
template <class Handler>
void Guarded(Handler&& handler)
{
    try {
        handler();
    } catch (const std::exception& error) {
        HandleException(error);
    } catch (...) {
        HandleException(std::runtime_error("予期しないエラーが発生しました"));
    }
}
