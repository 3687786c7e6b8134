// Test main for everything that needs Qt: an application object on the
// offscreen platform, and every message box redirected so that no test can
// block on a dialog.
#include "app/Dialogs.h"

#include <QApplication>
#include <QByteArray>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    QApplication app(argc, argv);
    SetMessageSink([](const QString& text) {
        ADD_FAILURE() << "unexpected message box: " << text.toStdString();
    });
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
