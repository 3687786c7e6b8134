// The network as a file and afresh: saving it in its own model format,
// loading one (the settings page's layer sizes follow the file's network),
// and building a new network from the settings page.
#include "prices/BrelvanPrices.h"

#include "base/Errors.h"
#include "base/Messages.h"
#include "base/RegularFile.h"
#include "base/SaveFile.h"
#include "base/SystemErrors.h"
#include "prices/Holdout.h"
#include "prices/PriceTexts.h"

#include <QFile>

namespace {

// The fields of the settings page that show the four layer sizes, input first.
constexpr TSetting kLayerFields[kLayerCount] = {TSetting::LYIPN, TSetting::LYM1N, TSetting::LYM2N, TSetting::LYOPN};

// Every network the program builds itself learns at this rate with this activation.
constexpr float kLearningRate = 0.005f;
constexpr TRavoActivationFunc kActivation = TRavoActivationFunc::Sigmoid;

std::string NativePath(const QString& fileName) { return QFile::encodeName(fileName).toStdString(); }

// The network's file error in the user's words: the system's text it ends
// with in brackets ("… (File too large)") is given as the Japanese text of
// that error, followed by the system's text.
QString FileReason(const std::exception& error)
{
    const QString message = QString::fromUtf8(error.what());
    const qsizetype open = message.lastIndexOf(QStringLiteral(" ("));
    if (open < 0 || !message.endsWith(QLatin1Char(')')))
        return message;
    const QString detail = message.mid(open + 2, message.size() - open - 3);
    if (ErrnoOfText(detail) == 0)
        return message;
    return message.left(open) + QStringLiteral(": ") + SystemReason(detail, QString());
}

// The network's refusal without the file name it ends with (the message
// names the file once).
QString Refusal(const std::exception& error, const QString& fileName)
{
    QString reason = FileReason(error);
    const QString named = QStringLiteral(": ") + fileName;
    if (reason.endsWith(named))
        reason.chop(named.size());
    return reason;
}

}  // namespace

void TBrelvanPrices::y06mdlSav(const QString& fileName)
{
    RequireStarted();
    CheckSaveTarget(fileName);
    try {
        Ann->SaveToFile(NativePath(fileName));   // a temporary file beside the target, then renamed
    } catch (const ERavoFileError& e) {
        throw EFileError(ModelNotSavedText(FileReason(e)));
    }
    AddLogLine(ModelSavedLine(fileName));
}

void TBrelvanPrices::y07mdlLod(const QString& fileName)
{
    RequireStarted();
    // Only a regular file is read: a FIFO or a device could hold the window for ever.
    QString reason;
    const TPathKind kind = PathKindOf(fileName, &reason);
    if (kind != TPathKind::Regular)
        throw EFileError(ModelNotLoadedText(fileName, reason.isEmpty() ? PathKindText(kind) : reason));

    // The file goes into a copy: whatever the network or this program
    // refuses leaves the current network and the settings as they are.
    TRavoAnn loaded(*Ann);
    try {
        loaded.LoadFromFile(NativePath(fileName));
    } catch (const ERavoFileError& e) {
        throw EFileError(ModelNotLoadedText(fileName, Refusal(e, fileName)));
    } catch (const ERavoRangeError& e) {
        throw ERangeError(ModelNotLoadedText(fileName, Refusal(e, fileName)));
    }
    const std::vector<std::int32_t> layers = loaded.NeuronCountInLayers();
    if (!IsProgramTopology(layers))
        throw ERangeError(ModelNotLoadedText(fileName, ModelTopologyUnusableText(layers)));

    UseNetwork(std::make_unique<TRavoAnn>(std::move(loaded)));
    bool changed = false;
    for (int l = 0; l < kLayerCount; ++l) {
        const QString size = QString::number(layers[std::size_t(l)]);
        if (Setting(kLayerFields[l]) != size) {
            SetSetting(kLayerFields[l], size);
            changed = true;
        }
    }
    AddLogLine(ModelLoadedLine(fileName, layers));
    if (changed)
        ShowMessage(LayersChangedText(layers));
    NoteOutputsBeyondColumns(Iol);
    // With a seed on the page, 読込学習 would start again from the seed's
    // weights and throw the loaded network away: the seed goes.
    if (!Setting(TSetting::RSD).trimmed().isEmpty()) {
        SetSetting(TSetting::RSD, QString());
        ShowMessage(SeedClearedForModelText());
    }
}

void TBrelvanPrices::y08annIni()
{
    RequireStarted();
    std::vector<std::int32_t> layers(kLayerCount);
    for (int l = 0; l < kLayerCount; ++l)
        layers[std::size_t(l)] = LayerSizeFromText(Setting(kLayerFields[l]), LayerName(l));

    // A seed on the page gives the fresh network that seed's weights, as 読込学習 would.
    if (const std::optional<std::uint64_t> seed = SeedFromText(Setting(TSetting::RSD)))
        SeedNextRavoAnn(*seed);
    UseNetwork(std::make_unique<TRavoAnn>(layers, kLearningRate, kActivation));
    for (int l = 0; l < kLayerCount; ++l)
        SetSetting(kLayerFields[l], QString::number(layers[std::size_t(l)]));
    AddLogLine(NetworkInitialisedLine(layers));
    NoteOutputsBeyondColumns(Iol);
}

void TBrelvanPrices::UseNetwork(std::unique_ptr<TRavoAnn> network)
{
    Layers = network->NeuronCountInLayers();
    Iil = Layers.front();
    Iol = Layers.back();
    Ann = std::move(network);
}
