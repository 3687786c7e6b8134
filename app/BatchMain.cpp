// brelvan-batch: the program without a window on screen.  It builds the real
// main window on the offscreen platform in the current directory and does
// what a user does, in order: the start-up, then (optionally) the number of
// passes, "読込学習", "予測1", "全予測" and (optionally) "登録(&R)".  Every line
// the commands append to the log goes to standard output as it is appended;
// every message box's text goes to standard error, one line each.
#include "app/BrelvanU.h"
#include "app/Dialogs.h"
#include "base/Console.h"
#include "base/Errors.h"
#include "db/Data.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QTextStream>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

const char kUsage[] =
    "使い方: brelvan-batch [--passes N] [--register 摘要] [--chart FILE.png] [--table FILE.csv]\n"
    "\n"
    "カレントフォルダの tarvok_stock_average_daily_jp.csv と SQDB.DB を使い、画面を出さずに\n"
    "起動処理、読込学習、予測1、全予測を順に実行します。\n"
    "  --passes N        学習数 (c15lnnE) を N にしてから読込学習を押す\n"
    "  --register 摘要   最後に摘要を入れて 登録(&R) を押す\n"
    "  --chart FILE.png  最後のコマンドの後のグラフを PNG で保存する\n"
    "  --table FILE.csv  最後のコマンドの後のメモリ上の価格テーブルを CSV (UTF-8) で保存する\n"
    "  --help            この説明を表示する\n"
    "ログの行は標準出力に、メッセージボックスの文は標準エラーに一行ずつ出ます。\n"
    "終了コード: 0、エラーが既定のエラー処理まで届いたときは 1、引数の誤りは 2。\n"
    "\n"
    "Usage: brelvan-batch [--passes N] [--register REMARK] [--chart FILE.png] [--table FILE.csv]\n"
    "\n"
    "Runs, without a window on screen, in the current directory (which holds\n"
    "tarvok_stock_average_daily_jp.csv and SQDB.DB): the start-up, then the buttons\n"
    "\"読込学習\" (import and train), \"予測1\" (next-day prediction) and \"全予測\"\n"
    "(whole-period prediction), as a user would press them.\n"
    "  --passes N        set the number of training passes (c15lnnE) before training\n"
    "  --register REMARK put REMARK into the remark edit and press \"登録(&R)\" at the end\n"
    "  --chart FILE.png  save the chart after the last command\n"
    "  --table FILE.csv  save the in-memory price table after the last command (UTF-8)\n"
    "  --help            show this text\n"
    "Log lines go to standard output, message box texts to standard error, one line each.\n"
    "Exit status: 0, or 1 when an error reached the default error handler, 2 for wrong arguments.\n";

struct TOptions {
    std::optional<QString> passes;
    std::optional<QString> remark;
    QString chartFile;
    QString tableFile;
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
        else if (a == QLatin1String("--register"))
            options.remark = value();
        else if (a == QLatin1String("--chart"))
            options.chartFile = value().value_or(QString());
        else if (a == QLatin1String("--table"))
            options.tableFile = value().value_or(QString());
        else
            error = QStringLiteral("不明なオプション / unknown option: ") + a;
        if (!error.isEmpty())
            break;
    }
    return options;
}

void PrintLine(FILE* stream, const QString& text)
{
    QString line = text;
    line.replace(QLatin1String("\r\n"), QLatin1String(" "));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    WriteText(stream, line + QLatin1Char('\n'));
}

QString CsvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"'))
        && !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// The in-memory price table, every row in CNT order, with a header of column names.
void SaveTable(const QString& fileName)
{
    QSqlQuery query(dm->CsqM());
    if (!query.exec(QStringLiteral("select * from AYNK order by CNT")))
        throw EDatabaseError(QStringLiteral("価格テーブルを読めません / cannot read AYNK"));
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw EFileError(fileName + QStringLiteral(" に書けません / cannot write: ") + file.errorString());
    QTextStream out(&file);
    out.setEncoding(QStringConverter::Utf8);
    const QSqlRecord record = query.record();
    QStringList fields;
    for (int c = 0; c < record.count(); ++c)
        fields << CsvField(record.fieldName(c));
    out << fields.join(QLatin1Char(',')) << "\r\n";
    while (query.next()) {
        fields.clear();
        for (int c = 0; c < record.count(); ++c)
            fields << CsvField(query.isNull(c) ? QString() : query.value(c).toString());
        out << fields.join(QLatin1Char(',')) << "\r\n";
    }
    out.flush();
    if (file.error() != QFileDevice::NoError)
        throw EFileError(fileName + QStringLiteral(" に書けません / cannot write: ") + file.errorString());
}

// The chart as the window draws it, enlarged so that the vertical date
// labels of the bottom axis have room (the window lays it out at 857 x 305).
void SaveChart(TChart* chart, const QString& fileName)
{
    const QSize least(1200, 600);
    if (chart->width() < least.width() || chart->height() < least.height())
        chart->resize(chart->size().expandedTo(least));
    QCoreApplication::processEvents();
    chart->UpdateAxes();   // the labels are thinned for the new width
    QCoreApplication::processEvents();
    if (!chart->grab().save(fileName, "PNG"))
        throw EFileError(fileName + QStringLiteral(" に保存できません / cannot save the chart"));
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

    if (window->Started()) {
        if (options.passes)
            window->c15lnnE->setText(*options.passes);
        window->a04RdB->click();
        window->a05Yo1B->click();
        window->a06Yo2B->click();
        if (options.remark) {
            window->c23tyoE->setText(*options.remark);
            window->c24rgB->click();
        }
        QCoreApplication::processEvents();
        if (!options.chartFile.isEmpty())
            Guarded([&] { SaveChart(window->a03Cht, options.chartFile); });
        if (!options.tableFile.isEmpty())
            Guarded([&] { SaveTable(options.tableFile); });
    }

    const int status = UnhandledErrorCount() > 0 ? 1 : 0;
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
        WriteText(stderr, QString::fromUtf8(kUsage));
        return 2;
    }
    if (options.help) {
        WriteText(stdout, QString::fromUtf8(kUsage));
        return 0;
    }
    SetMessageSink([](const QString& text) { PrintLine(stderr, text); });
    return Run(options);
}
