// The visual styles the program carries, selected by name: "Windows10" (a
// light look) and "Windows10 Dark" (a dark palette), both on Qt's Fusion
// style.
#pragma once

#include <QString>
#include <QStringList>

// The names of the styles the program carries.
QStringList StyleNames();

// Makes the named style the application's look.  An unknown name shows
// "スタイル '<name>' が見つかりません" through ShowMessage when showErrorDialog
// is set, leaves the look as it is and returns false.
bool TrySetStyle(const QString& name, bool showErrorDialog = true);

// The name of the style set last, empty while the default look is in use.
QString ActiveStyleName();
