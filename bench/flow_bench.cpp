// flow_bench: the price commands on real files, each timed beside the floor
// of an import, sqlite3's own CSV import of the same file into an in-memory
// database measured in the same run.
//
//   flow_bench [SAMPLE.csv] [--rows N] [--big-passes P]
//
// Runs the import ("読込学習" without its training), a training run, "予測1"
// and "全予測" on the sample (5,105 rows, 400 passes) and on a generated file
// of N rows (default 200,000) in the sample's format, with P passes (default
// 10: 400 passes over 200,000 rows would take minutes and measure the same
// step time as the sample does).  Prints each time, its ratio to the floor
// where a goal names one, and the resident memory after the large import.
#include "app/BrelvanU.h"
#include "app/Dialogs.h"
#include "db/Data.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <clocale>
#include <cstdio>
#include <memory>
#include <random>

namespace {

const char kPriceFile[] = "tarvok_stock_average_daily_jp.csv";

double Seconds(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e9; }

// Best of three runs of sqlite3's CSV import of the file into :memory:.
double ImportFloor(const QString& file)
{
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        const int rc = QProcess::execute(QStringLiteral("sqlite3"),
                                         {QStringLiteral(":memory:"), QStringLiteral(".mode csv"),
                                          QStringLiteral(".import ") + file + QStringLiteral(" t")});
        const double s = Seconds(t);
        if (rc != 0) {
            std::fprintf(stderr, "sqlite3 failed (%d)\n", rc);
            return -1;
        }
        best = std::min(best, s);
    }
    return best;
}

QString ProcStatus(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return QString::fromLatin1(line.mid(int(qstrlen(key)))).simplified();
    return QStringLiteral("?");
}

QString Price(double v) { return QStringLiteral("\"") + QLocale(QLocale::English).toString(v, 'f', 2) + QStringLiteral("\""); }

// A price file of n days in the sample's form: Shift-JIS, CR LF, header and
// trailer, quoted prices with thousands separators; a random walk of closes.
void WriteGenerated(const QString& path, int n)
{
    std::mt19937 random(20200417);
    std::normal_distribution<double> step(0.0002, 0.012);
    QString text = QStringLiteral("日付,終値,始値,高値,安値\r\n");
    text.reserve(n * 56);
    QDate day(1500, 1, 1);
    double close = 1000;
    for (int i = 0; i < n; ++i, day = day.addDays(1)) {
        const double open = close;
        close = std::clamp(close * std::exp(step(random)), 200.0, 40000.0);
        const double high = std::max(open, close) * 1.004, low = std::min(open, close) * 0.996;
        text += day.toString(QStringLiteral("yyyy/MM/dd")) + QLatin1Char(',') + Price(close) + QLatin1Char(',')
              + Price(open) + QLatin1Char(',') + Price(high) + QLatin1Char(',') + Price(low) + QStringLiteral("\r\n");
    }
    text += QStringLiteral("※生成データ (flow_bench)\r\n");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(QStringEncoder("Shift_JIS").encode(text));
}

void Flow(const QString& label, const QString& source, int passes, bool showMemory)
{
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    QFile::copy(source, QString::fromLatin1(kPriceFile));
    const double floor = ImportFloor(QDir(dir.path()).filePath(QString::fromLatin1(kPriceFile)));

    {
        auto form = std::make_unique<TBrelvanF>();
        BrelvanF = form.get();
        auto module = std::make_unique<Tdm>();
        dm = module.get();
        form->FormActivate();
        if (!form->Started())
            qFatal("start-up failed");

        QElapsedTimer t;
        t.start();
        form->y02rdDat();
        const double import = Seconds(t);
        const QString hwm = ProcStatus("VmHWM:"), rss = ProcStatus("VmRSS:");

        form->c15lnnE->setText(QString::number(passes));
        t.restart();
        form->y03lean();
        const double training = Seconds(t);
        const double steps = double(passes) * std::max(0, form->Idn - form->Iil - form->Iol - 1);

        t.restart();
        form->y04Yosok();
        const double nextDay = Seconds(t);
        t.restart();
        form->y05znYos();
        const double whole = Seconds(t);

        std::printf("%s: %d rows\n", qPrintable(label), form->Idn);
        std::printf("  import floor (sqlite3 :memory: .import) %8.3f s\n", floor);
        std::printf("  import (y02rdDat)                       %8.3f s  = %.2f x floor   (goal < 5)\n", import,
                    import / floor);
        std::printf("  training, %4d passes                    %8.3f s  (%.0f ns per step)\n", passes, training,
                    steps > 0 ? training / steps * 1e9 : 0.0);
        std::printf("  予測1                                    %8.3f s\n", nextDay);
        std::printf("  全予測                                   %8.3f s  = %.2f x import  (goal < 3)\n", whole,
                    whole / import);
        if (showMemory)
            std::printf("  memory after the import with its grid: VmHWM %s, VmRSS %s  (goal < 300 MB)\n",
                        qPrintable(hwm), qPrintable(rss));
        std::fflush(stdout);
        form.reset();
        BrelvanF = nullptr;
        module.reset();
        dm = nullptr;
    }
    QDir::setCurrent(previous);
}

}  // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    QApplication app(argc, argv);
    // The figures print with a point whatever the locale, which the
    // application has just taken from the environment.
    std::setlocale(LC_NUMERIC, "C");
    SetMessageSink([](const QString&) {});

    QString sample = QStringLiteral(BRELVAN_SOURCE_DIR "/samples/tarvok_stock_average_daily_jp.csv");
    int rows = 200000;
    int bigPasses = 10;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--rows") && i + 1 < args.size())
            rows = args[++i].toInt();
        else if (args[i] == QLatin1String("--big-passes") && i + 1 < args.size())
            bigPasses = args[++i].toInt();
        else
            sample = QFileInfo(args[i]).absoluteFilePath();
    }

    Flow(QStringLiteral("sample"), sample, 400, false);

    QTemporaryDir work;
    const QString big = QDir(work.path()).filePath(QStringLiteral("generated.csv"));
    WriteGenerated(big, rows);
    std::printf("(generated file: %d passes instead of 400)\n", bigPasses);
    Flow(QStringLiteral("generated"), big, bigPasses, true);
    return UnhandledErrorCount() > 0 ? 1 : 0;
}
