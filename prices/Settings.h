// The settings the user types on the settings page, read as every command
// reads them.  A typed text is first normalised as NFKC, so that the
// full-width digits and signs an input method writes read as ASCII ones
// ("４００" is 400), and the blanks around it are dropped; the number must
// then lie in the range its register column can hold.
#pragma once

#include <QString>
#include <cstdint>

// The text NFKC-normalised, without the blanks around it.
QString TypedSetting(const QString& text);

// A whole number in 32 bits from a typed text.  Anything else raises
// EConvertError "'<text>' は整数ではありません", the text as typed.
std::int32_t TypedWholeNumber(const QString& text);

// A count from 0 to `most` from a typed text; EConvertError or ERangeError
// with the text `refused` otherwise.
std::int32_t TypedCount(const QString& text, std::int32_t most, const QString& refused);

// 学習数: 0 (read the file without training) to MaxTrainingCount, the eight
// digits of its column.  EConvertError or ERangeError with
// TrainingCountRefusedText otherwise.
inline constexpr std::int32_t MaxTrainingCount = 99999999;
std::int32_t TrainingCountFromText(const QString& text);

// 検証日数: empty (or blanks only) is 0, no hold-out; otherwise 0 to
// MaxHoldoutDaysSetting, the eight digits of its column.
inline constexpr std::int32_t MaxHoldoutDaysSetting = 99999999;

// The predictions have six columns, 予測1 to 予測6: a network of more
// outputs predicts days that no column receives.
inline constexpr std::int32_t kPredictionColumns = 6;
