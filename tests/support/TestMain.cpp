// Test main for everything that needs Qt: an application object (for the
// window's tests a QApplication on the offscreen platform), and every
// message redirected so that no test can block on a dialog.
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

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    TTestApplication app(argc, argv);
    SetMessageSink([](const QString& text) {
        ADD_FAILURE() << "unexpected message box: " << text.toStdString();
    });
    SetQuestionSink([](const QString& text) {
        ADD_FAILURE() << "unexpected question: " << text.toStdString();
        return false;
    });
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
