#include "prices/Topology.h"

#include "base/Errors.h"
#include "prices/Settings.h"

#include <QStringList>
#include <algorithm>

QString LayerName(int layer)
{
    switch (layer) {
    case 0: return QStringLiteral("入力層");
    case 1: return QStringLiteral("中間層1");
    case 2: return QStringLiteral("中間層2");
    case 3: return QStringLiteral("出力層");
    default: throw ERangeError(QStringLiteral("層の番号 %1 は範囲外です").arg(layer));
    }
}

std::int32_t LayerSizeFromText(const QString& text, const QString& layerName)
{
    const std::int32_t size = TypedWholeNumber(text);
    if (size < 1 || size > MaxLayerSize)
        throw ERangeError(QStringLiteral("%1のﾆｭｰﾛﾝ数 '%2' は 1 から %3 までの整数で指定してください")
                              .arg(layerName, text)
                              .arg(MaxLayerSize));
    return size;
}

bool IsProgramTopology(const std::vector<std::int32_t>& layers)
{
    return layers.size() == std::size_t(kLayerCount)
        && std::all_of(layers.begin(), layers.end(), [](std::int32_t n) { return n >= 1 && n <= MaxLayerSize; });
}

QString TopologyText(const std::vector<std::int32_t>& layers)
{
    QStringList sizes;
    for (std::int32_t n : layers)
        sizes << QString::number(n);
    return QLatin1Char('[') + sizes.join(QLatin1Char(',')) + QLatin1Char(']');
}
