// The three command buttons of the main page.  Each runs under the default
// error handler with the wait cursor; an error ends the command.
#include "app/BrelvanU.h"

#include "app/Dialogs.h"

void TBrelvanF::a04RdBClick()
{
    Guarded([this] {
        TWaitCursor wait;
        RequireStarted();
        CheckTypedSettings();   // a refused setting ends the command before the import changes anything
        y02rdDat();   // an error here ends the command: no training on a failed import
        y03lean();
    });
}

void TBrelvanF::a05Yo1BClick()
{
    Guarded([this] {
        TWaitCursor wait;
        RequireStarted();
        y04Yosok();
    });
}

void TBrelvanF::a06Yo2BClick()
{
    Guarded([this] {
        TWaitCursor wait;
        RequireStarted();
        y05znYos();
    });
}
