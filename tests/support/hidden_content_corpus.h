#pragma once

// Documents that keep something in each place a PDF can hide it: annotations,
// form fields, attachments, scripts, layers, metadata, old revisions, invisible
// and covered text. Each shows one phrase on its first page and lists the
// words that no flattened output of it may contain. Shared by the leak audit
// and the fuzzers' seed corpus.

#include "core/geometry.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace inkveil::test {

struct CorpusDocument {
    QString name;
    QByteArray pdf;
    int pageCount = 1;
    QStringList secrets; // words of the source that must not survive
};

// Shown on page 0 of every document, in 12 pt Helvetica at (72, 700).
inline const QString kCorpusPhrase = QStringLiteral("Project Nightingale");
// The phrase's area in page space (612 × 792 pages), a little generous.
inline constexpr Rect kCorpusPhraseBox{70, 695, 108, 17};

std::vector<CorpusDocument> hiddenContentCorpus();

} // namespace inkveil::test
