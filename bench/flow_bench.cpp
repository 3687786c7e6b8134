// flow_bench: the price commands as a user runs them, in the window (shown on
// the offscreen platform, its chart and grids drawn), each timed beside the
// floor of an import, sqlite3's own CSV import of the same file into an
// in-memory database measured in the same run.
//
//   flow_bench [SAMPLE.csv] [--rows N[,N...]] [--big-passes P]
//
// Presses "読込学習" (its import and its training apart), "予測1" and
// "全予測" on the sample (400 passes) and on generated files of N rows in the
// sample's format (default 200,000 and 1,000,000) with P passes (default
// 10: 400 passes over 200,000 rows take minutes and measure the same step
// time as the sample does).  Each file runs in a process of its own, so that
// the resident memory after "全予測" is that file's alone.  Then the whole
// job of `brelvan-batch --passes 0` on the first generated file, beside the
// floor.  Prints each time, the ratios the goals name and the memory.
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
#include <QPushButton>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <random>

namespace {

const char kPriceFile[] = "tarvok_stock_average_daily_jp.csv";

double Seconds(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e9; }

// The processor time of the process so far (all its threads), in seconds.
double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Best of three runs of a program in a folder, in seconds; -1 when it failed.
double BestOfThree(const QString& program, const QStringList& args, const QString& folder)
{
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        QFile::remove(QDir(folder).filePath(QStringLiteral("SQDB.DB")));
        QProcess process;
        process.setWorkingDirectory(folder);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer t;
        t.start();
        process.start(program, args);
        if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
            std::fprintf(stderr, "%s failed\n", qPrintable(program));
            return -1;
        }
        best = std::min(best, Seconds(t));
    }
    return best;
}

// sqlite3's CSV import of the file into :memory:, best of three.
double ImportFloor(const QString& file)
{
    return BestOfThree(QStringLiteral("sqlite3"),
                       {QStringLiteral(":memory:"), QStringLiteral(".mode csv"),
                        QStringLiteral(".import ") + file + QStringLiteral(" t")},
                       QFileInfo(file).absolutePath());
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
    text.reserve(qsizetype(n) * 56);
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

// In the child: the commands in a shown window in the file's folder; prints
// "key value" lines.
int RunOne(const QString& folder, int passes)
{
    QDir::setCurrent(folder);
    auto form = std::make_unique<TBrelvanF>();
    BrelvanF = form.get();
    auto module = std::make_unique<Tdm>();
    dm = module.get();
    form->show();
    form->activateWindow();
    QApplication::processEvents();
    if (!form->Started())
        form->FormActivate();
    if (!form->Started())
        qFatal("start-up failed");
    QApplication::processEvents();

    form->c15lnnE->setText(QString::number(passes));
    QElapsedTimer t;
    t.start();
    form->a04RdB->click();   // the import, then the training starts on the worker
    const double import = Seconds(t);
    t.restart();
    form->WaitForCommand();
    const double training = Seconds(t);
    const double steps = double(passes) * std::max(0, form->Idn - form->Iil - form->Iol - 1);

    t.restart();
    form->a05Yo1B->click();
    QApplication::processEvents();
    const double nextDay = Seconds(t);
    t.restart();
    const double cpu = CpuSeconds();
    form->a06Yo2B->click();
    form->WaitForCommand();
    QApplication::processEvents();   // the chart and the grid drawn
    const double whole = Seconds(t);
    const double wholeCpu = CpuSeconds() - cpu;

    std::printf("rows %d\nimport %.6f\ntraining %.6f\nstep_ns %.1f\nnextday %.6f\nwhole %.6f\nwhole_cpu %.6f\n", form->Idn,
                import, training, steps > 0 ? training / steps * 1e9 : 0.0, nextDay, whole, wholeCpu);
    std::printf("rss %s\nhwm %s\n", qPrintable(ProcStatus("VmRSS:").remove(QStringLiteral(" kB"))),
                qPrintable(ProcStatus("VmHWM:").remove(QStringLiteral(" kB"))));
    std::fflush(stdout);
    form.reset();
    BrelvanF = nullptr;
    module.reset();
    dm = nullptr;
    return UnhandledErrorCount() > 0 ? 1 : 0;
}

using TFigures = std::map<QString, double>;

// One file in a child process of this program.
TFigures Flow(const QString& source, int passes, double& floor)
{
    QTemporaryDir dir;
    QFile::copy(source, QDir(dir.path()).filePath(QString::fromLatin1(kPriceFile)));
    floor = ImportFloor(QDir(dir.path()).filePath(QString::fromLatin1(kPriceFile)));
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--one"), dir.path(), QStringLiteral("--passes"), QString::number(passes)});
    child.waitForFinished(-1);
    TFigures figures;
    for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() == 2)
            figures[QString::fromLatin1(words[0])] = words[1].toDouble();
    }
    if (child.exitCode() != 0 || figures.empty())
        qFatal("the run on %s failed", qPrintable(source));
    return figures;
}

void Print(const char* label, const TFigures& f, double floor, int passes)
{
    std::printf("%s: %.0f rows\n", label, f.at(QStringLiteral("rows")));
    std::printf("  import floor (sqlite3 :memory: .import) %8.3f s\n", floor);
    std::printf("  import (読込学習 up to its training)       %8.3f s  = %.2f x floor   (goal < 5)\n",
                f.at(QStringLiteral("import")), f.at(QStringLiteral("import")) / floor);
    std::printf("  training, %4d passes                    %8.3f s  (%.0f ns per step)\n", passes,
                f.at(QStringLiteral("training")), f.at(QStringLiteral("step_ns")));
    std::printf("  予測1                                    %8.3f s\n", f.at(QStringLiteral("nextday")));
    std::printf("  全予測                                   %8.3f s  = %.2f x import  (processor time %.3f s)\n",
                f.at(QStringLiteral("whole")), f.at(QStringLiteral("whole")) / f.at(QStringLiteral("import")),
                f.at(QStringLiteral("whole_cpu")));
    std::printf("  memory after 全予測: VmRSS %.0f MB, VmHWM %.0f MB\n", f.at(QStringLiteral("rss")) / 1024,
                f.at(QStringLiteral("hwm")) / 1024);
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
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    QString sample = QStringLiteral(BRELVAN_SOURCE_DIR "/samples/tarvok_stock_average_daily_jp.csv");
    QList<int> rows{200000, 1000000};
    int bigPasses = 10;
    QString one;
    int onePasses = 0;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--rows") && i + 1 < args.size()) {
            rows.clear();
            for (const QString& n : args[++i].split(QLatin1Char(',')))
                rows << n.toInt();
        } else if (args[i] == QLatin1String("--big-passes") && i + 1 < args.size()) {
            bigPasses = args[++i].toInt();
        } else if (args[i] == QLatin1String("--one") && i + 1 < args.size()) {
            one = args[++i];
        } else if (args[i] == QLatin1String("--passes") && i + 1 < args.size()) {
            onePasses = args[++i].toInt();
        } else {
            sample = QFileInfo(args[i]).absoluteFilePath();
        }
    }
    if (!one.isEmpty())
        return RunOne(one, onePasses);

    double floor = 0;
    const TFigures figures = Flow(sample, 400, floor);
    Print("sample", figures, floor, 400);

    QTemporaryDir work;
    std::printf("(generated files: %d passes instead of 400)\n", bigPasses);
    std::vector<std::pair<int, TFigures>> big;
    QString firstFile;
    for (int n : rows) {
        const QString file = QDir(work.path()).filePath(QStringLiteral("generated_%1.csv").arg(n));
        WriteGenerated(file, n);
        const TFigures f = Flow(file, bigPasses, floor);
        Print("generated", f, floor, bigPasses);
        const double rss = f.at(QStringLiteral("rss")) / 1024;
        if (n == 200000 || n == 1000000)
            std::printf("  memory goal after 全予測 at %d rows: VmRSS <= %d MB: %s\n", n, n == 200000 ? 200 : 800,
                        rss <= (n == 200000 ? 200 : 800) ? "met" : "NOT MET");
        if (big.empty())
            firstFile = file;
        big.emplace_back(n, f);
    }
    for (std::size_t i = 1; i < big.size(); ++i) {
        const auto ratio = [&](const char* key) {
            return big[i].second.at(QLatin1String(key)) / big[0].second.at(QLatin1String(key));
        };
        std::printf("全予測 at %d rows = %.2f x at %d rows, in processor time %.2f x (%.1f x the rows; goal <= 5.5 for 5 x)\n",
                    big[i].first, ratio("whole"), big[0].first, ratio("whole_cpu"), double(big[i].first) / big[0].first);
    }

    // The whole job headless, as a script runs it.
    if (!firstFile.isEmpty()) {
        QTemporaryDir jobDir;
        QFile::copy(firstFile, QDir(jobDir.path()).filePath(QString::fromLatin1(kPriceFile)));
        const double job = BestOfThree(QStringLiteral(BRELVAN_BATCH), {QStringLiteral("--passes"), QStringLiteral("0")},
                                       jobDir.path());
        const double jobFloor = ImportFloor(QDir(jobDir.path()).filePath(QString::fromLatin1(kPriceFile)));
        std::printf("brelvan-batch --passes 0 on %d rows: %.3f s = %.2f x sqlite3 .import (%.3f s)  (goal <= 8)\n",
                    big[0].first, job, job / jobFloor, jobFloor);
    }
    return 0;
}
