// The one seam for modal messages, and the default handler for errors that
// an event handler lets through.  Tests and the headless driver redirect the
// seam; nothing else opens a message box.
#pragma once

#include <QString>
#include <exception>
#include <functional>

using TMessageSink = std::function<void(const QString&)>;

// Shows a modal box with the text and an OK button (or hands the text to the
// installed sink) and returns when it is closed.
void ShowMessage(const QString& text);

// Installs a sink for every message; an empty sink restores the real box.
// Returns the sink that was installed before.
TMessageSink SetMessageSink(TMessageSink sink);

// The default handler: shows the error's message and counts it.
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

// The wait cursor while a command runs (restored on every path).
class TWaitCursor {
public:
    TWaitCursor();
    ~TWaitCursor();
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};
