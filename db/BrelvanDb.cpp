#include "db/BrelvanDb.h"

#include "base/Errors.h"

QString& TSlots::operator[](int index)
{
    if (index < 1 || index > Count)
        throw ERangeError(QStringLiteral("文字列枠の番号 %1 は範囲外です").arg(index));
    return fSlots[std::size_t(index - 1)];
}

const QString& TSlots::operator[](int index) const
{
    if (index < 1 || index > Count)
        throw ERangeError(QStringLiteral("文字列枠の番号 %1 は範囲外です").arg(index));
    return fSlots[std::size_t(index - 1)];
}
