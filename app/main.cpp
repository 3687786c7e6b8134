// Program start: the application, the dark style, the main window, the data
// module, the event loop.  The window's first activation runs the start-up
// sequence.
#include "app/BrelvanU.h"
#include "app/Dialogs.h"
#include "app/Styles.h"
#include "db/Data.h"

#include <QApplication>
#include <memory>

namespace {

// The application object, with a last safety net: an exception that escapes
// an event handler is shown like any other error and never reaches Qt.
class TApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        bool result = false;
        Guarded([&] { result = QApplication::notify(receiver, event); });
        return result;
    }
};

}  // namespace

int main(int argc, char* argv[])
{
    TApplication application(argc, argv);
    TApplication::setApplicationName(QStringLiteral("Brelvan"));
    // The main window owns the task-bar button: it is the only top-level window.
    TApplication::setQuitOnLastWindowClosed(true);
    SetMessageSink(ShowMessageBox);
    SetFileDialogSink(ShowFileDialog);
    UseJapaneseToolkitTexts();
    SetQuestionSink(AskQuestionBox);
    TrySetStyle(QStringLiteral("Windows10 Dark"));

    auto window = std::make_unique<TBrelvanF>();
    BrelvanF = window.get();
    auto module = std::make_unique<Tdm>();
    dm = module.get();

    window->show();
    // Without a window manager nothing activates a new window: ask for it,
    // so that the activation that runs the start-up comes.
    window->activateWindow();
    const int result = TApplication::exec();

    window.reset();   // FormDestroy releases the network
    dm = nullptr;
    module.reset();
    return result;
}
