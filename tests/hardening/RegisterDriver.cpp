// register_driver FOLDER COUNT: the program's window, offscreen, started up in
// FOLDER, registers COUNT runs one after another (remarks "run 1" ...) and
// prints "registered N" after each; then prints "done" and waits, holding
// the database, until it is killed.  The crash test kills it hard.
#include "app/BrelvanU.h"
#include "app/Dialogs.h"
#include "db/Data.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstdio>
#include <memory>
#include <unistd.h>

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    QApplication application(argc, argv);
    if (argc != 3 || !QDir::setCurrent(QString::fromLocal8Bit(argv[1])))
        return 2;
    const int count = QString::fromLatin1(argv[2]).toInt();
    SetMessageSink([](const QString& text) { std::fprintf(stderr, "%s\n", text.toUtf8().constData()); });

    auto window = std::make_unique<TBrelvanF>();
    BrelvanF = window.get();
    auto module = std::make_unique<Tdm>();
    dm = module.get();
    window->show();
    window->activateWindow();
    QCoreApplication::processEvents();
    if (!window->Started())
        window->FormActivate();
    if (!window->Started())
        return 1;

    for (int i = 1; i <= count; ++i) {
        window->c23tyoE->setText(QStringLiteral("run %1").arg(i));
        window->c24rgB->click();
        std::printf("registered %s\n", window->c11cntL->text().toUtf8().constData());
        std::fflush(stdout);
    }
    std::printf("done\n");
    std::fflush(stdout);
    for (;;)
        ::pause();
}
