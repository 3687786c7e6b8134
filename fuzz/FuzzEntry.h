// What every fuzz program shares: the application object the checks need
// (Qt's SQL plugins and text codecs) and the call of one check.
#pragma once

#include "fuzz/FuzzChecks.h"

#include <QCoreApplication>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace FuzzEntry {

inline int Initialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

inline int Run(QString (*check)(const QByteArray&), const uint8_t* data, size_t size)
{
    const QString finding =
        check(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!finding.isEmpty()) {
        std::fprintf(stderr, "finding: %s\n", finding.toUtf8().constData());
        std::abort();
    }
    return 0;
}

}  // namespace FuzzEntry
