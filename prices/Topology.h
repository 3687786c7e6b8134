// The network's shape as the program uses it: four layers (input, two
// hidden, output), each of 1 to MaxLayerSize neurons, the four sizes shown
// on the settings page (their register columns hold four characters).
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

// Largest layer the program builds or accepts from a model file: the four
// digits of a layer size's register column, so that whatever the register
// holds starts the program.
constexpr std::int32_t MaxLayerSize = 9999;

// The layers' names on the settings page, input layer first.
inline constexpr int kLayerCount = 4;
QString LayerName(int layer);   // "入力層", "中間層1", "中間層2", "出力層"

// The size of a layer from its settings text, typed as Settings.h reads it:
// a whole number from 1 to MaxLayerSize.  EConvertError for a text that is
// no whole number, ERangeError naming the layer and the value for one out
// of range.
std::int32_t LayerSizeFromText(const QString& text, const QString& layerName);

// Whether the program can use a network of this shape: four layers, each of
// 1 to MaxLayerSize neurons.
bool IsProgramTopology(const std::vector<std::int32_t>& layers);

// "[7,7,3,2]"
QString TopologyText(const std::vector<std::int32_t>& layers);
