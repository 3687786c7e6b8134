// Test main for everything that needs Qt: an application object (for the
// window's tests a QApplication on the offscreen platform), and every
// message and file dialog redirected so that no test can block on a dialog.
#include "base/FileDialogs.h"
#include "base/Messages.h"

#include <QByteArray>
#include <gtest/gtest.h>

#ifdef BRELVAN_TEST_GUI
#include <QApplication>
using TTestApplication = QApplication;
#else
#include <QCoreApplication>
using TTestApplication = QCoreApplication;
#endif

#include <clocale>
#include <cstdio>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    TTestApplication app(argc, argv);   // sets the C library's locale from the environment

    // A run that names its locale (CTest's comma-decimal runs) stops unless
    // the C library took that locale: a missing one would quietly leave the
    // C locale and test nothing new.
    const QByteArray wanted = qgetenv("BRELVAN_TEST_LOCALE");
    const char* taken = std::setlocale(LC_ALL, nullptr);
    if (!wanted.isEmpty() && (taken == nullptr || wanted != taken)) {
        std::fprintf(stderr, "the test locale %s is not in effect (LOCPATH=%s): build the target comma_locale\n",
                     wanted.constData(), qgetenv("LOCPATH").constData());
        return 1;
    }

    SetMessageSink([](const QString& text) {
        ADD_FAILURE() << "unexpected message box: " << text.toStdString();
    });
    SetFileDialogSink([](const TFileRequest& request) {
        ADD_FAILURE() << "unexpected file dialog: " << request.Caption.toStdString();
        return TFileAnswer();
    });
    SetQuestionSink([](const QString& text) {
        ADD_FAILURE() << "unexpected question: " << text.toStdString();
        return false;
    });
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
