// Every seed of the fuzz targets and every input a fuzz run ever found fault
// with, run through the same checks as the fuzz programs: each must be
// handled soundly (accepted with its properties, or rejected with the
// program's own error).
#include "fuzz/FuzzChecks.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <ostream>
#include <cctype>
#include <map>
#include <string>
#include <vector>

namespace {

struct TInput {
    std::string Target;   // price_file, model_file, catalogue_line
    std::string Path;     // relative to fuzz/
};

// Test names in CTest show the case, not its bytes.
void PrintTo(const TInput& c, std::ostream* os) { *os << c.Path; }

using TCheck = QString (*)(const QByteArray&);

TCheck CheckOf(const std::string& target)
{
    if (target == "price_file")
        return &FuzzChecks::PriceFile;
    if (target == "model_file")
        return &FuzzChecks::ModelFile;
    return &FuzzChecks::CatalogueLine;
}

std::vector<TInput> Inputs()
{
    std::vector<TInput> inputs;
    const QDir fuzz(QStringLiteral(BRELVAN_FUZZ_DIR));
    for (const char* folder : {"seeds", "regressions"})
        for (const char* target : {"price_file", "model_file", "catalogue_line"}) {
            const QString dir = QStringLiteral("%1/%2").arg(QLatin1String(folder), QLatin1String(target));
            for (const QString& name : QDir(fuzz.filePath(dir)).entryList(QDir::Files, QDir::Name))
                inputs.push_back({target, (dir + QLatin1Char('/') + name).toStdString()});
        }
    return inputs;
}

class FuzzInputTest : public ::testing::TestWithParam<TInput> {};

TEST_P(FuzzInputTest, IsHandledSoundly)
{
    QFile file(QDir(QStringLiteral(BRELVAN_FUZZ_DIR)).filePath(QString::fromStdString(GetParam().Path)));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << GetParam().Path;
    const QString finding = CheckOf(GetParam().Target)(file.readAll());
    EXPECT_TRUE(finding.isEmpty()) << GetParam().Path << ": " << finding.toStdString();
}

std::string NameOf(const ::testing::TestParamInfo<TInput>& info)
{
    std::string name = info.param.Path;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Stored, FuzzInputTest, ::testing::ValuesIn(Inputs()), NameOf);

// The folders are there and hold inputs (a moved folder must not turn the
// test above into no test at all).
TEST(FuzzInputs, EveryTargetHasSeeds)
{
    std::map<std::string, int> seeds;
    for (const TInput& input : Inputs())
        if (input.Path.rfind("seeds/", 0) == 0)
            ++seeds[input.Target];
    EXPECT_GE(seeds["price_file"], 3);
    EXPECT_GE(seeds["model_file"], 3);
    EXPECT_GE(seeds["catalogue_line"], 3);
}

}  // namespace
