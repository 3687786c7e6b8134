// A model file from its bytes through LoadFromFile, SaveToFile and a reload.
#include "fuzz/CheckSupport.h"
#include "fuzz/FuzzChecks.h"

#include "ann/URavoAnn.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace FuzzChecks {

namespace {

using TBytes = std::vector<unsigned char>;

void WriteBytes(const std::string& path, const char* data, std::size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data, std::streamsize(size));
}

TBytes ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TBytes Saved(const TRavoAnn& ann, const std::string& path)
{
    ann.SaveToFile(path);
    return ReadBytes(path);
}

// The bytes a save of the file's network writes: the file's own, without
// what follows the last weight, the activation word written as 0 or 1.
TBytes Expected(const QByteArray& bytes, std::size_t size)
{
    TBytes expected(bytes.begin(), bytes.begin() + qsizetype(size));
    std::int32_t word = 0;
    std::memcpy(&word, expected.data(), 4);   // little-endian machine
    const std::int32_t written = word == 0 ? 0 : 1;
    std::memcpy(expected.data(), &written, 4);
    return expected;
}

}  // namespace

QString ModelFile(const QByteArray& bytes)
{
    const std::string input = ScratchPath("input.model");
    const std::string first = ScratchPath("first.model");
    const std::string second = ScratchPath("second.model");
    WriteBytes(input, bytes.constData(), std::size_t(bytes.size()));

    TRavoAnn ann({2, 3, 1}, 0.005f, TRavoActivationFunc::Sigmoid);
    const TBytes before = Saved(ann, first);
    try {
        ann.LoadFromFile(input);
    } catch (const std::exception&) {
        if (Saved(ann, first) != before)
            return QStringLiteral("a rejected file changed the network");
        return {};
    }

    const TBytes saved = Saved(ann, first);
    if (saved.size() < 24 || saved.size() > std::size_t(bytes.size()))
        return QStringLiteral("an accepted file of %1 bytes saves as %2").arg(bytes.size()).arg(saved.size());
    if (saved != Expected(bytes, saved.size()))
        return QStringLiteral("the save differs from the file it was loaded from");
    TRavoAnn reloaded(first);
    if (Saved(reloaded, second) != saved)
        return QStringLiteral("a saved network reloads differently");

    // The loaded network works: one prediction and one training step.
    const auto& counts = ann.NeuronCountInLayers();
    std::vector<float> outputs;
    ann.Run(std::vector<float>(std::size_t(counts.front()), 0.5f), outputs);
    if (outputs.size() != std::size_t(counts.back()))
        return QStringLiteral("a prediction gives %1 outputs").arg(outputs.size());
    try {
        ann.Train(std::vector<float>(std::size_t(counts.front()), 0.5f),
                  std::vector<float>(std::size_t(counts.back()), 0.25f));
    } catch (const ERavoOverflow&) {
        // The file's tally is at its limit: refused, as it must be.
    }
    return {};
}

}  // namespace FuzzChecks
