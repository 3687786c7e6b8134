// The one seam for file dialogs, beside the message seam (Messages.h): a
// command says what it asks for, the installed sink asks the user.  The
// program installs the real dialog at start (app/Dialogs.h); the tests
// install answers of their own.  Nothing else opens a file dialog.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// What a command asks the user for.
struct TFileRequest {
    enum class TMode { Open, Save };
    TMode Mode = TMode::Open;
    QString Caption;         // the dialog's title
    QString Folder;          // the folder it opens in
    QString SuggestedName;   // the name it proposes (empty: none)
    QStringList Filters;     // name filters, e.g. "モデルファイル (*.bin)"; the first is selected
};

// The user's answer: the file chosen and the filter it was chosen under (an
// index into the request's Filters).  An empty FileName: the user cancelled.
struct TFileAnswer {
    QString FileName;
    int Filter = 0;
    bool Chosen() const { return !FileName.isEmpty(); }
};

using TFileDialogSink = std::function<TFileAnswer(const TFileRequest&)>;

// Hands the request to the installed sink and returns its answer.  With no
// sink installed nobody can answer: the request's caption goes to standard
// error and the answer is "cancelled".
TFileAnswer AskFileName(const TFileRequest& request);

// Installs a sink for every file dialog; an empty sink cancels them all.
// Returns the sink that was installed before.
TFileDialogSink SetFileDialogSink(TFileDialogSink sink);
