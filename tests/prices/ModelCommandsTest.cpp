// The network's model file and a fresh network, on the price commands with
// the window stood in for: what is saved loads back into the same network
// (the same predictions), a file of another shape sets the layer sizes, a
// file that is refused changes nothing, and "学習初期化" starts afresh.
#include "support/ControllerFixture.h"
#include "support/PriceStandIn.h"

#include "base/Errors.h"
#include "prices/PriceFile.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QSqlRecord>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

namespace {

// A model file's image, as the network's format lays it out.
QByteArray ModelImage(std::int32_t activation, const std::vector<std::int32_t>& layers, std::int32_t trainCount = 0)
{
    QByteArray bytes;
    const auto put = [&bytes](auto value) {
        char raw[4];
        std::memcpy(raw, &value, 4);
        bytes.append(raw, 4);
    };
    put(activation);
    put(std::int32_t(layers.size()));
    for (std::int32_t n : layers)
        put(n);
    put(0.005f);
    put(0.0f);
    put(trainCount);
    std::int64_t parameters = 0;
    for (std::size_t l = 1; l < layers.size(); ++l)
        parameters += std::int64_t(layers[l]) * (1 + layers[l - 1]);
    for (std::int64_t p = 0; p < parameters; ++p)
        put(float(p % 7) / 8.0f - 0.3f);
    return bytes;
}

void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Fields of a saved model: the train count and the weights into the first
// hidden layer (after the biases).
std::int32_t TrainCountOf(const QByteArray& model)
{
    std::int32_t layers = 0, count = 0;
    std::memcpy(&layers, model.constData() + 4, 4);
    std::memcpy(&count, model.constData() + 16 + 4 * layers, 4);
    return count;
}
QByteArray FirstWeightsOf(const QByteArray& model)
{
    std::int32_t layerCount = 0;
    std::memcpy(&layerCount, model.constData() + 4, 4);
    std::vector<std::int32_t> n(layerCount);
    std::memcpy(n.data(), model.constData() + 8, 4 * n.size());
    std::int64_t biases = 0;
    for (std::size_t l = 1; l < n.size(); ++l)
        biases += n[l];
    return model.mid(20 + 4 * layerCount + 4 * biases, 4 * n[0] * n[1]);
}

class ModelCommandsTest : public ControllerFixture<TPriceStandIn> {
protected:
    void SetUp() override
    {
        ControllerFixture::SetUp();
        Create().StartUp();
        messages.clear();
    }

    // n days of closes ending 2020/04/17, imported as "読込学習" imports them.
    void Import(int n)
    {
        QStringList lines{QStringLiteral("date,close,open,high,low")};
        for (int i = 1; i <= n; ++i)
            lines << QDate(2020, 4, 17).addDays(i - n).toString(QStringLiteral("yyyy/MM/dd"))
                         + QStringLiteral(",\"1,%1.25\",1,1,1").arg(100 + (i * 37) % 300);
        lines << QStringLiteral("end");
        WriteBytes(QString::fromLatin1(kPriceFileName), lines.join(QStringLiteral("\r\n")).toLatin1());
        form->y02rdDat();
        messages.clear();
    }

    void TrainSteps(int steps)
    {
        const std::vector<float> in(std::size_t(form->Iil), 0.25f), out(std::size_t(form->Iol), 0.75f);
        for (int s = 0; s < steps; ++s)
            form->Ann->Train(in, out);
    }

    // The network as its saved bytes.
    QByteArray Saved()
    {
        const QString path = PathOf(QStringLiteral("probe.bin"));
        form->Ann->SaveToFile(path.toStdString());
        const QByteArray bytes = ReadBytes(path);
        QFile::remove(path);
        return bytes;
    }

    // The "予測1" lines and every stored prediction.
    QStringList Predictions()
    {
        const int logSize = form->Log.size();
        form->y04Yosok();
        QStringList result = form->Log.mid(logSize);
        QSqlQuery q(dm->CsqM());
        EXPECT_TRUE(q.exec(QStringLiteral("select CNT, YCL1, YCL2, YCL3 from AYNK order by CNT")));
        while (q.next())
            result << q.value(0).toString() + '|' + q.value(1).toString() + '|' + q.value(2).toString() + '|'
                          + q.value(3).toString();
        return result;
    }

    QString LayerSettings()
    {
        return QStringList{form->Settings[TSetting::LYIPN], form->Settings[TSetting::LYM1N],
                           form->Settings[TSetting::LYM2N], form->Settings[TSetting::LYOPN]}
            .join(QLatin1Char(','));
    }

    template <class Command>
    static QString ErrorOf(Command&& command)
    {
        try {
            command();
        } catch (const EBrelvanError& e) {
            return e.Message();
        }
        return QStringLiteral("<no error>");
    }
};

TEST_F(ModelCommandsTest, ASavedNetworkLoadsBackWithItsPredictions)
{
    Import(60);
    TrainSteps(50);
    const QByteArray trained = Saved();
    const QStringList predicted = Predictions();

    form->y06mdlSav(QStringLiteral("model_0001.bin"));
    EXPECT_EQ(form->Log.back(), QStringLiteral("モデル保存: model_0001.bin"));
    EXPECT_EQ(ReadBytes(PathOf(QStringLiteral("model_0001.bin"))), trained);

    form->y08annIni();
    EXPECT_NE(Predictions(), predicted);

    form->y07mdlLod(QStringLiteral("model_0001.bin"));
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();   // the same shape: no message
    EXPECT_EQ(form->Log.back(), QStringLiteral("モデル読込: model_0001.bin ([7,7,3,2])"));
    EXPECT_EQ(Saved(), trained);
    EXPECT_EQ(Predictions(), predicted);
}

TEST_F(ModelCommandsTest, AFileOfAnotherShapeSetsTheLayerSizesAndPredictsAtOnce)
{
    Import(60);
    WriteBytes(PathOf(QStringLiteral("other.bin")), ModelImage(1, {9, 5, 4, 3}, 12));
    form->y07mdlLod(QStringLiteral("other.bin"));

    EXPECT_EQ(messages, QStringList{QStringLiteral(
                            "モデルの層構成 [9,5,4,3] に合わせて、入力層・中間層1・中間層2・出力層の設定を変更しました")});
    EXPECT_EQ(LayerSettings(), QStringLiteral("9,5,4,3"));
    EXPECT_EQ(form->Layers, (std::vector<std::int32_t>{9, 5, 4, 3}));
    EXPECT_EQ(form->Iil, 9);
    EXPECT_EQ(form->Iol, 3);
    EXPECT_EQ(form->Log.back(), QStringLiteral("モデル読込: other.bin ([9,5,4,3])"));
    EXPECT_EQ(Saved(), ModelImage(1, {9, 5, 4, 3}, 12));

    // Without a training run: three outputs, so YCL3 is written too.
    messages.clear();
    const QStringList predicted = Predictions();
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    EXPECT_GE(predicted.indexOf(QRegularExpression(QStringLiteral("^2020/04/18 終値: \\d+\\.\\d\\d$"))), 0);
    // Row 62 (the second future row) gets output 2 of the last window in YCL3 only.
    EXPECT_GE(predicted.indexOf(QRegularExpression(QStringLiteral("^62\\|\\|\\|[\\d.]+$"))), 0)
        << predicted.join('\n').toStdString();
}

// The widest layers a register column holds load, predict and save back; an
// output layer beyond the six 予測 columns is pointed out.
TEST_F(ModelCommandsTest, TheWidestLayersTheRegisterHoldsLoadAndSaveBack)
{
    Import(60);
    const QByteArray image = ModelImage(0, {9999, 7, 3, 9999}, 3);
    WriteBytes(PathOf(QStringLiteral("wide.bin")), image);
    form->y07mdlLod(QStringLiteral("wide.bin"));
    EXPECT_EQ(messages, (QStringList{"モデルの層構成 [9999,7,3,9999] に合わせて、入力層・中間層1・中間層2・出力層の設定を変更しました",
                                     "出力層のﾆｭｰﾛﾝ数 9999 のうち、予測の列 (予測1～予測6) に書かれるのは 6 日分までです。"
                                     "7 日目からの予測は価格表に残りません"}));
    EXPECT_EQ(LayerSettings(), QStringLiteral("9999,7,3,9999"));
    form->y06mdlSav(QStringLiteral("again.bin"));
    EXPECT_EQ(ReadBytes(PathOf(QStringLiteral("again.bin"))), image);

    // A fresh network of six outputs says nothing; of seven, it says so.
    messages.clear();
    form->Settings[TSetting::LYIPN] = QStringLiteral("7");
    form->Settings[TSetting::LYOPN] = QStringLiteral("6");
    form->y08annIni();
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    form->Settings[TSetting::LYOPN] = QStringLiteral("７");
    form->y08annIni();
    EXPECT_EQ(form->Iol, 7);
    EXPECT_EQ(messages, QStringList{"出力層のﾆｭｰﾛﾝ数 7 のうち、予測の列 (予測1～予測6) に書かれるのは 6 日分までです。"
                                    "7 日目からの予測は価格表に残りません"});
}

struct TRefusedModel {
    enum TKind { File, Folder, Nothing };
    const char* Name;
    QByteArray Bytes;   // of a File
    TKind Kind;
    const char* Reason;
};

TEST_F(ModelCommandsTest, AFileThatIsRefusedChangesNothing)
{
    QByteArray truncated = ModelImage(0, {7, 7, 3, 2});
    truncated.chop(4);
    QByteArray noLayers = ModelImage(0, {});
    QByteArray negative = ModelImage(0, {7, 7, 3, 2});
    const std::int32_t minusOne = -1;
    std::memcpy(negative.data() + 12, &minusOne, 4);
    const TRefusedModel cases[] = {
        {"none.bin", {}, TRefusedModel::Nothing, "ファイルがありません"},
        {"folder.bin", {}, TRefusedModel::Folder, "通常のファイルではなくディレクトリです"},
        {"empty.bin", QByteArray(), TRefusedModel::File, "モデルファイルが短すぎます"},
        {"short.bin", truncated, TRefusedModel::File, "モデルファイルが短すぎます"},
        {"nolayers.bin", noLayers, TRefusedModel::File, "モデルファイルの層の数が不正です: 0"},
        {"negative.bin", negative, TRefusedModel::File, "モデルファイルのニューロン数が不正です: -1"},
        {"three.bin", ModelImage(0, {7, 5, 2}), TRefusedModel::File,
         "層構成 [7,5,2] のネットワークは使えません (入力層・中間層1・中間層2・出力層の 4 層で、各層 1 から 9999 "
         "のﾆｭｰﾛﾝ数が必要です)"},
        {"wide.bin", ModelImage(0, {10000, 7, 3, 2}), TRefusedModel::File,
         "層構成 [10000,7,3,2] のネットワークは使えません (入力層・中間層1・中間層2・出力層の 4 層で、各層 1 から "
         "9999 のﾆｭｰﾛﾝ数が必要です)"},
        {"many.bin", ModelImage(0, std::vector<std::int32_t>(12, 1)), TRefusedModel::File,
         "層構成 [1,1,1,1,1,1,1,1,…] (12 層) のネットワークは使えません (入力層・中間層1・中間層2・出力層の 4 層で、"
         "各層 1 から 9999 のﾆｭｰﾛﾝ数が必要です)"},
    };
    TrainSteps(3);
    const QByteArray network = Saved();
    const QStringList log = form->Log;
    for (const TRefusedModel& c : cases) {
        SCOPED_TRACE(c.Name);
        const QString name = QString::fromLatin1(c.Name);
        if (c.Kind == TRefusedModel::Folder)
            ASSERT_TRUE(QDir(folder.path()).mkdir(name));
        else if (c.Kind == TRefusedModel::File)
            WriteBytes(PathOf(name), c.Bytes);
        const QString reason = QString::fromUtf8(c.Reason);
        EXPECT_EQ(ErrorOf([&] { form->y07mdlLod(name); }),
                  QStringLiteral("モデルファイル %1 を読み込めません: %2").arg(name, reason));
        EXPECT_EQ(Saved(), network);
        EXPECT_EQ(form->Layers, (std::vector<std::int32_t>{7, 7, 3, 2}));
        EXPECT_EQ(form->Iil, 7);
        EXPECT_EQ(form->Iol, 2);
        EXPECT_EQ(LayerSettings(), QStringLiteral("7,7,3,2"));
        EXPECT_EQ(form->Log, log);
    }
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ModelCommandsTest, ASaveThatFailsKeepsTheFormerFile)
{
    form->y06mdlSav(QStringLiteral("m.bin"));
    const QByteArray former = ReadBytes(PathOf(QStringLiteral("m.bin")));
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("sub.bin")));
    EXPECT_EQ(ErrorOf([&] { form->y06mdlSav(QStringLiteral("sub.bin")); }),
              QStringLiteral("sub.bin に保存できませんでした: 同じ名前のフォルダがあります"));

    // Files of this process may grow to 100 bytes only: the model (about 300) fails halfway.
    TrainSteps(1);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString error = ErrorOf([&] { form->y06mdlSav(QStringLiteral("m.bin")); });
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(error, QStringLiteral("モデルを保存できませんでした: モデルファイルに書き込めません: m.bin: ファイルが大きすぎます (%1)")
                         .arg(QString::fromLocal8Bit(std::strerror(EFBIG))));
    EXPECT_EQ(ReadBytes(PathOf(QStringLiteral("m.bin"))), former);
    EXPECT_EQ(QDir(folder.path()).entryList({QStringLiteral("m.bin*")}, QDir::Files), QStringList{"m.bin"});
    EXPECT_EQ(form->Log, QStringList{QStringLiteral("モデル保存: m.bin")});
}

TEST_F(ModelCommandsTest, InitialisingBuildsAFreshNetworkFromTheSettings)
{
    TrainSteps(10);
    const QByteArray before = Saved();
    ASSERT_EQ(TrainCountOf(before), 20);   // one per output of each step
    form->Settings[TSetting::LYM1N] = QStringLiteral(" 9");

    form->y08annIni();
    const QByteArray after = Saved();
    EXPECT_EQ(TrainCountOf(after), 0);
    EXPECT_EQ(form->Ann->GetMSE(), 0.0f);
    EXPECT_EQ(form->Layers, (std::vector<std::int32_t>{7, 9, 3, 2}));
    EXPECT_EQ(FirstWeightsOf(after).size(), 4 * 7 * 9);
    EXPECT_NE(FirstWeightsOf(after).left(4 * 7 * 7), FirstWeightsOf(before));
    EXPECT_EQ(LayerSettings(), QStringLiteral("7,9,3,2"));
    EXPECT_EQ(form->Log.back(), QStringLiteral("ネットワークを初期化しました ([7,9,3,2])"));

    // A size the program cannot build leaves the network as it is.
    form->Settings[TSetting::LYM2N] = QStringLiteral("x");
    EXPECT_EQ(ErrorOf([&] { form->y08annIni(); }), QStringLiteral("'x' は整数ではありません"));
    form->Settings[TSetting::LYM2N] = QStringLiteral("0");
    EXPECT_EQ(ErrorOf([&] { form->y08annIni(); }),
              QStringLiteral("中間層2のﾆｭｰﾛﾝ数 '0' は 1 から 9999 までの整数で指定してください"));
    EXPECT_EQ(Saved(), after);
    EXPECT_EQ(form->Log.size(), 1);
}

// A seed on the page: a fresh network takes that seed's weights, and a loaded
// model takes the seed off the page, so that 読込学習 goes on from the model
// instead of starting again from the seed.
TEST_F(ModelCommandsTest, ASeedMakesFreshNetworksAlikeAndGivesWayToALoadedModel)
{
    Import(60);
    form->Settings[TSetting::RSD] = QStringLiteral("7");
    form->y08annIni();
    const QByteArray first = Saved();
    form->y08annIni();
    EXPECT_EQ(Saved(), first);

    TrainSteps(20);
    form->y06mdlSav(QStringLiteral("trained.bin"));
    const QByteArray trained = Saved();
    form->y08annIni();
    form->y07mdlLod(QStringLiteral("trained.bin"));
    EXPECT_EQ(messages, QStringList{QStringLiteral("読み込んだモデルから学習を続けられるよう、乱数シードを空欄にしました")});
    EXPECT_TRUE(form->Settings[TSetting::RSD].isEmpty());
    form->Settings[TSetting::LNN] = QStringLiteral("0");
    form->y03lean();
    EXPECT_EQ(Saved(), trained);
}

}  // namespace
