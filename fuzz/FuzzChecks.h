// The checks behind the fuzz targets, one input each.  The fuzz programs call
// them for every generated input; the regression test calls them for every
// seed and every input a fuzz run has ever found fault with.
//
// A check returns an empty text when the program handled the input soundly:
// accepted it with every promised property holding, or rejected it with its
// own error and nothing changed.  Otherwise the text says what went wrong.
// Crashes, hangs, unbounded allocations and undefined behaviour are caught by
// the sanitizers around the call.
#pragma once

#include <QByteArray>
#include <QString>

namespace FuzzChecks {

// The price file's bytes through decoding, line and field splitting, date and
// close conversion, the normalisation range and normalisation, then through
// the program's import (y02rdDat) into the in-memory price table.
QString PriceFile(const QByteArray& bytes);

// A model file's bytes through TRavoAnn::LoadFromFile.  A rejected file leaves
// the network as it was; an accepted one saves as the file's own bytes (with
// the activation word written as 0 or 1), and that save reloads and saves
// again to the same bytes.  The loaded network runs and trains one step.
QString ModelFile(const QByteArray& bytes);

// One line of a catalogue file (Shift-JIS) through the catalogue line rule,
// for tbl.csv and for tblstrc.csv, and the resulting insert run on an
// in-memory catalogue: at most one row is added, and nothing else changes.
QString CatalogueLine(const QByteArray& bytes);

}  // namespace FuzzChecks
