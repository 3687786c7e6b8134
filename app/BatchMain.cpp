// brelvan-batch: the program without a window on screen.  It builds the real
// main window on the offscreen platform in the current directory and does
// what a user does, in order: the start-up, then (optionally) the number of
// passes, the hold-out days and the seed, "読込学習", "予測1", "全予測" and
// (optionally) "登録(&R)"; a model file may be loaded before the commands and
// saved after them.  Every line the commands append to the log goes to
// standard output as it is appended; every message box's text goes to
// standard error, one line each.  A line that cannot be written makes the
// exit status non-zero; a saved file is written beside its target and
// renamed over it only once it is whole.
//
// The buttons are pressed one after the other: a command that runs on (the
// training, the whole-period prediction) is waited for before the next.
// With standard error on a terminal, a line there shows the running
// command's progress.  Ctrl+C stops the running command as "中止" does and
// the driver goes on with the rest; a second Ctrl+C also skips what is left.
// Either way the status is 130.
#include "app/BrelvanU.h"
#include "app/Dialogs.h"
#include "app/Worker.h"
#include "base/Console.h"
#include "base/Errors.h"
#include "base/SaveFile.h"
#include "base/SystemErrors.h"
#include "db/Data.h"
#include "db/PriceTable.h"
#include "prices/PriceExport.h"

#include <QApplication>
#include <QBuffer>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QTextStream>
#include <QTimer>
#include <atomic>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

const char kUsage[] =
    "使い方: brelvan-batch [--passes N] [--holdout N] [--seed N] [--register 摘要]\n"
    "                     [--load-model FILE] [--save-model FILE] [--chart FILE.png] [--table FILE.csv]\n"
    "                     [--export FILE.csv]\n"
    "\n"
    "カレントフォルダの tarvok_stock_average_daily_jp.csv と SQDB.DB を使い、画面を出さずに\n"
    "起動処理、読込学習、予測1、全予測を順に実行します。\n"
    "  --passes N        学習数 (c15lnnE) を N にしてから読込学習を押す\n"
    "  --holdout N       検証日数 (c25vldnE) を N にする: 最後の N 日を学習に使わず、予測と前日終値の\n"
    "                    誤差をログに出す (0 で検証なし)\n"
    "  --seed N          乱数シード (c26rsdE) を N にする: 同じシードなら同じ初期値から学習し、同じ結果になる\n"
    "  --register 摘要   最後に摘要を入れて 登録(&R) を押す\n"
    "  --load-model FILE 起動処理の後、コマンドの前にモデルを読み込む (モデル読込)。\n"
    "                    --passes 0 なら読込学習は読込だけで、読み込んだネットワークのまま予測する\n"
    "  --save-model FILE 最後のコマンドの後にモデルを保存する (モデル保存)\n"
    "  --chart FILE.png  最後のコマンドの後のグラフを PNG で保存する\n"
    "  --table FILE.csv  最後のコマンドの後のメモリ上の価格テーブルを CSV (UTF-8) で保存する\n"
    "  --export FILE.csv 最後のコマンドの後の価格表を画面の表のとおり保存する (CSV出力)\n"
    "  --help            この説明を表示する\n"
    "ログの行は標準出力に、メッセージボックスの文は標準エラーに一行ずつ出ます。\n"
    "標準エラーが端末のときは、実行中の処理の進み具合をそこに一行で示します。\n"
    "Ctrl+C は実行中の処理を 中止 し、残りの処理を続けます。二度目の Ctrl+C で残りも行いません。\n"
    "終了コード: 0、エラーが既定のエラー処理まで届いたときは 1、引数の誤りは 2、\n"
    "標準出力か標準エラーに書けなかったときは 3、Ctrl+C で止めたときは 130。\n"
    "\n"
    "Usage: brelvan-batch [--passes N] [--holdout N] [--seed N] [--register REMARK]\n"
    "                     [--load-model FILE] [--save-model FILE] [--chart FILE.png] [--table FILE.csv]\n"
    "                     [--export FILE.csv]\n"
    "\n"
    "Runs, without a window on screen, in the current directory (which holds\n"
    "tarvok_stock_average_daily_jp.csv and SQDB.DB): the start-up, then the buttons\n"
    "\"読込学習\" (import and train), \"予測1\" (next-day prediction) and \"全予測\"\n"
    "(whole-period prediction), as a user would press them.\n"
    "  --passes N        set the number of training passes (c15lnnE) before training\n"
    "  --holdout N       set the hold-out days (c25vldnE): the last N days are kept out of the\n"
    "                    training and the log compares the predictions with the previous close (0: none)\n"
    "  --seed N          set the random seed (c26rsdE): the same seed trains from the same initial\n"
    "                    weights and gives the same results\n"
    "  --register REMARK put REMARK into the remark edit and press \"登録(&R)\" at the end\n"
    "  --load-model FILE load a model file after the start-up, before the commands (\"モデル読込\");\n"
    "                    with --passes 0, \"読込学習\" only imports and the loaded network predicts\n"
    "  --save-model FILE save the network to a model file after the last command (\"モデル保存\")\n"
    "  --chart FILE.png  save the chart after the last command\n"
    "  --table FILE.csv  save the in-memory price table after the last command (UTF-8)\n"
    "  --export FILE.csv save the price table as the window's grid shows it (\"CSV出力\")\n"
    "  --help            show this text\n"
    "Log lines go to standard output, message box texts to standard error, one line each.\n"
    "With standard error on a terminal, one line there shows the running command's progress.\n"
    "Ctrl+C stops the running command (as \"中止\" does) and goes on with the rest; a second\n"
    "Ctrl+C skips the rest as well.\n"
    "Exit status: 0, or 1 when an error reached the default error handler, 2 for wrong\n"
    "arguments, 3 when standard output or standard error could not be written, 130 when\n"
    "stopped with Ctrl+C.\n";

struct TOptions {
    std::optional<QString> passes;
    std::optional<QString> holdout;
    std::optional<QString> seed;
    std::optional<QString> remark;
    QString chartFile;
    QString tableFile;
    QString loadModel;
    QString saveModel;
    QString exportFile;
    bool help = false;
};

// Parses the arguments; an unknown option or a missing value gives an error text.
TOptions ParseOptions(const QStringList& args, QString& error)
{
    TOptions options;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const auto value = [&]() -> std::optional<QString> {
            if (i + 1 >= args.size()) {
                error = a + QStringLiteral(" に値がありません / ") + a + QStringLiteral(" needs a value");
                return std::nullopt;
            }
            return args[++i];
        };
        if (a == QLatin1String("--help") || a == QLatin1String("-h"))
            options.help = true;
        else if (a == QLatin1String("--passes"))
            options.passes = value();
        else if (a == QLatin1String("--holdout"))
            options.holdout = value();
        else if (a == QLatin1String("--seed"))
            options.seed = value();
        else if (a == QLatin1String("--register"))
            options.remark = value();
        else if (a == QLatin1String("--chart"))
            options.chartFile = value().value_or(QString());
        else if (a == QLatin1String("--table"))
            options.tableFile = value().value_or(QString());
        else if (a == QLatin1String("--load-model"))
            options.loadModel = value().value_or(QString());
        else if (a == QLatin1String("--save-model"))
            options.saveModel = value().value_or(QString());
        else if (a == QLatin1String("--export"))
            options.exportFile = value().value_or(QString());
        else
            error = QStringLiteral("不明なオプション / unknown option: ") + a;
        if (!error.isEmpty())
            break;
    }
    return options;
}

// Ctrl+C presses, counted by the signal handler.  The second one hands
// SIGINT back to the system, so that a third ends the program at once.
std::atomic<int> gInterrupts{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnInterrupt(int)
{
    if (gInterrupts.fetch_add(1) + 1 >= 2)
        std::signal(SIGINT, SIG_DFL);
}

bool StandardErrorIsTerminal()
{
#ifdef Q_OS_WIN
    return ::_isatty(::_fileno(stderr)) != 0;
#else
    return ::isatty(STDERR_FILENO) == 1;
#endif
}

// Ctrl+C as "中止": a console's Ctrl+C on Windows, SIGINT elsewhere.
void CatchInterrupts()
{
#ifdef Q_OS_WIN
    std::signal(SIGINT, OnInterrupt);
#else
    struct sigaction interrupt = {};
    interrupt.sa_handler = OnInterrupt;
    interrupt.sa_flags = SA_RESTART;
    sigemptyset(&interrupt.sa_mask);
    sigaction(SIGINT, &interrupt, nullptr);
#endif
}

// Exit status when standard output or standard error refused a line.
constexpr int kWriteFailedStatus = 3;

// Whether a line meant for standard output or standard error did not get there.
bool gOutputFailed = false;
bool gErrorOutputFailed = false;

// Writes the text as the stream shows it (UTF-16 into a Windows console,
// UTF-8 elsewhere) and flushes it at once; false when the stream refused it.
bool Write(FILE* stream, const QString& text)
{
    return WriteText(stream, text);
}

// Writes to standard output or standard error.  A failure is remembered for
// the exit status; the first one of standard output is reported on standard
// error, which may still be writable.
void Emit(FILE* stream, const QString& text)
{
    if (Write(stream, text))
        return;
    if (stream != stdout) {
        gErrorOutputFailed = true;
        return;
    }
    const int error = errno;
    if (!gOutputFailed) {
        const QString reason = SystemErrorText(error) + QStringLiteral(" (") + QString::fromLocal8Bit(std::strerror(error))
                             + QLatin1Char(')');
        const QString note = QStringLiteral("標準出力に書けません / cannot write to standard output: ") + reason
                           + QLatin1Char('\n');
        if (!Write(stderr, note))
            gErrorOutputFailed = true;
    }
    gOutputFailed = true;
}

// The progress line on a terminal's standard error: redrawn in place, and
// cleared before any other line is printed.
class TProgressLine {
public:
    explicit TProgressLine(bool enabled) : fEnabled(enabled) {}
    void Show(const QString& text)
    {
        if (!fEnabled || text == fShown)
            return;
        if (text.isEmpty()) {
            Clear();
            return;
        }
        Write(stderr, QLatin1Char('\r') + text + QStringLiteral("\033[K"));
        fShown = text;
    }
    void Clear()
    {
        if (fShown.isEmpty())
            return;
        Write(stderr, QStringLiteral("\r\033[K"));
        fShown.clear();
    }
private:
    bool fEnabled;
    QString fShown;
};

TProgressLine* gProgress = nullptr;
// Types an option's text into an edit whole, where the edit would cut it to
// its column's length: the commands' checks then refuse what does not fit.
void Type(QLineEdit* edit, const QString& text)
{
    edit->setMaxLength(std::max(edit->maxLength(), int(text.size())));
    edit->setText(text);
}

void PrintLine(FILE* stream, const QString& text)
{
    if (gProgress)
        gProgress->Clear();
    QString line = text;
    line.replace(QLatin1String("\r\n"), QLatin1String(" "));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    Emit(stream, line + QLatin1Char('\n'));
}

// The in-memory price table, every row in CNT order, with a header of column names.
void SaveTable(const QString& fileName)
{
    TPriceRows rows;
    QString text;
    QTextStream out(&text);
    QStringList fields;
    for (const QString& column : rows.Columns())
        fields << CsvField(column);
    out << fields.join(QLatin1Char(',')) << "\r\n";
    while (rows.Next()) {
        fields.clear();
        for (int c = 0; c < rows.Columns().size(); ++c)
            fields << CsvField(rows.Value(c).toString());
        out << fields.join(QLatin1Char(',')) << "\r\n";
    }
    out.flush();
    SaveWholeFile(fileName, text.toUtf8());
}

// The chart as the window draws it, enlarged so that the vertical date
// labels of the bottom axis have room (the window lays it out at 857 x 305).
// The picture is encoded in memory first: a file that cannot be written then
// fails in SaveWholeFile, never halfway through the encoder.
void SaveChart(TChart* chart, const QString& fileName)
{
    const QSize least(1200, 600);
    if (chart->width() < least.width() || chart->height() < least.height())
        chart->resize(chart->size().expandedTo(least));
    QCoreApplication::processEvents();
    chart->UpdateAxes();   // the labels are thinned for the new width
    QCoreApplication::processEvents();
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !chart->grab().save(&buffer, "PNG"))
        throw EFileError(fileName + QStringLiteral(" に保存できません / cannot save the chart"));
    SaveWholeFile(fileName, png);
}

int Run(const TOptions& options)
{
    auto window = std::make_unique<TBrelvanF>();
    BrelvanF = window.get();
    auto module = std::make_unique<Tdm>();
    dm = module.get();

    QObject::connect(window->a02mM, &TMemo::lineAdded, [](const QString& line) { PrintLine(stdout, line); });

    // The start-up runs on the window's first activation, as on screen.
    const int errorsBefore = UnhandledErrorCount();
    window->show();
    window->activateWindow();
    QCoreApplication::processEvents();
    if (!window->Started() && UnhandledErrorCount() == errorsBefore)
        Guarded([&] { window->FormActivate(); });   // no activation came: run it as it would

    // A model that cannot be loaded ends the run before the commands: they
    // would train and predict with a network the user did not ask for.
    const int errorsBeforeLoad = UnhandledErrorCount();
    if (window->Started() && !options.loadModel.isEmpty())
        Guarded([&] { window->y07mdlLod(options.loadModel); });

    // While a command runs: its progress on the terminal, and Ctrl+C as "中止".
    TProgressLine progress(StandardErrorIsTerminal());
    gProgress = &progress;
    int interruptsSeen = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!window->CommandRunning())
            return;
        if (gInterrupts.load() > interruptsSeen) {
            interruptsSeen = gInterrupts.load();
            window->a08StpB->click();
        }
        progress.Show(window->a07PrgBar->text());
    });
    watch.start(TWorker::PollMs);
    // Each button once the command before it has ended, until a second Ctrl+C.
    const auto goOn = [] { return gInterrupts.load() < 2; };
    const auto press = [&](QPushButton* button) {
        if (!goOn())
            return;
        button->click();
        window->WaitForCommand();
        progress.Clear();
    };

    if (window->Started() && UnhandledErrorCount() == errorsBeforeLoad) {
        if (options.passes)
            Type(window->c15lnnE, *options.passes);
        if (options.holdout)
            Type(window->c25vldnE, *options.holdout);
        if (options.seed)
            Type(window->c26rsdE, *options.seed);
        press(window->a04RdB);
        press(window->a05Yo1B);
        press(window->a06Yo2B);
        if (options.remark && goOn()) {
            Type(window->c23tyoE, *options.remark);
            press(window->c24rgB);
        }
        QCoreApplication::processEvents();
        if (!options.saveModel.isEmpty() && goOn())
            Guarded([&] { window->y06mdlSav(options.saveModel); });
        if (!options.chartFile.isEmpty() && goOn())
            Guarded([&] { SaveChart(window->a03Cht, options.chartFile); });
        if (!options.tableFile.isEmpty() && goOn())
            Guarded([&] { SaveTable(options.tableFile); });
        if (!options.exportFile.isEmpty() && goOn())
            Guarded([&] { window->y09csvOut(options.exportFile); });
    }
    watch.stop();
    gProgress = nullptr;

    const int status = gInterrupts.load() > 0 ? 130 : UnhandledErrorCount() > 0 ? 1 : 0;
    window.reset();
    BrelvanF = nullptr;
    module.reset();
    dm = nullptr;
    return status;
}

// Standard error carries the message boxes' texts: the toolkit's own notes
// (debug, info, warnings of the offscreen platform) are left out of it.
void QtMessages(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        PrintLine(stderr, QStringLiteral("Qt: ") + text);
}

}  // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    qInstallMessageHandler(QtMessages);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brelvan"));

    QString error;
    const TOptions options = ParseOptions(QApplication::arguments(), error);
    if (!error.isEmpty()) {
        PrintLine(stderr, error);
        Emit(stderr, QString::fromUtf8(kUsage));
        return 2;
    }
    if (options.help) {
        Emit(stdout, QString::fromUtf8(kUsage));
        return gOutputFailed ? kWriteFailedStatus : 0;
    }
    SetMessageSink([](const QString& text) { PrintLine(stderr, text); });
    CatchInterrupts();
    const int status = Run(options);
    if (status == 0 && (gOutputFailed || gErrorOutputFailed))
        return kWriteFailedStatus;
    return status;
}
