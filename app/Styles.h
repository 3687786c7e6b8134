// The visual styles the program carries, selected by name: "Windows10" (a
// light look) and "Windows10 Dark" (a dark palette, the tabs included), both
// on Qt's Fusion style, every text at a contrast of 4.5:1 or more.
#pragma once

#include <QColor>
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

// The caption colour that marks the selected tab: red, dark enough on the
// light look and light enough on the dark one to read at 4.5:1 or more on
// the tabs; pure red while the default look is in use.  The other tabs'
// captions take the tab bar's text colour.
QColor SelectedTabColour();
