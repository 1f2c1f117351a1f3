#include "tests/support/poppler.h"

#include "tests/support/test_env.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace inkveil::test {

bool havePoppler()
{
    return haveTool(QStringLiteral("pdftotext")) && haveTool(QStringLiteral("pdfimages"))
        && haveTool(QStringLiteral("qpdf"));
}

QString popplerText(const QString& pdf)
{
    return QString::fromUtf8(runProgram(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")}).out);
}

std::vector<ListedImage> popplerImages(const QString& pdf)
{
    const QString out = QString::fromUtf8(runProgram(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf}).out);
    std::vector<ListedImage> images;
    const QStringList lines = out.split(u'\n');
    for (qsizetype i = 2; i < lines.size(); ++i) { // two header lines
        const QStringList f = lines[i].split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        if (f.size() < 8)
            continue;
        images.push_back(ListedImage{f[0].toInt(), f[3].toInt(), f[4].toInt(), f[5], f[7].toInt()});
    }
    return images;
}

int popplerFontCount(const QString& pdf)
{
    const QString out = QString::fromUtf8(runProgram(QStringLiteral("pdffonts"), {pdf}).out);
    return std::max<int>(0, static_cast<int>(out.split(u'\n', Qt::SkipEmptyParts).size()) - 2);
}

QString popplerInfo(const QString& pdf)
{
    return QString::fromUtf8(runProgram(QStringLiteral("pdfinfo"), {pdf}).out);
}

bool Raster::isBlack(int x, int y) const
{
    const unsigned char* p = at(x, y);
    for (int c = 0; c < channels; ++c) {
        if (p[c] != 0)
            return false;
    }
    return true;
}

double Raster::blackShare(int left, int top, int right, int bottom) const
{
    int black = 0, all = 0;
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x, ++all)
            black += isBlack(x, y) ? 1 : 0;
    }
    return all ? static_cast<double>(black) / all : 0;
}

namespace {

// Reads a binary PBM, PGM or PPM as written by pdfimages.
std::optional<Raster> readPnm(const QByteArray& data)
{
    qsizetype pos = 0;
    auto token = [&]() {
        while (pos < data.size() && (std::isspace(static_cast<unsigned char>(data[pos])) || data[pos] == '#')) {
            if (data[pos] == '#')
                while (pos < data.size() && data[pos] != '\n')
                    ++pos;
            else
                ++pos;
        }
        const qsizetype start = pos;
        while (pos < data.size() && !std::isspace(static_cast<unsigned char>(data[pos])))
            ++pos;
        return data.mid(start, pos - start);
    };
    const QByteArray magic = token();
    Raster r;
    r.width = token().toInt();
    r.height = token().toInt();
    const bool bitmap = magic == "P4";
    if (!bitmap)
        token(); // maxval
    ++pos;       // the single white space before the samples
    r.channels = magic == "P6" ? 3 : 1;
    r.samples.resize(static_cast<size_t>(r.width) * r.height * r.channels);
    if (bitmap) {
        const int rowBytes = (r.width + 7) / 8;
        for (int y = 0; y < r.height; ++y)
            for (int x = 0; x < r.width; ++x) {
                const auto byte = static_cast<unsigned char>(data[pos + y * rowBytes + x / 8]);
                r.samples[static_cast<size_t>(y) * r.width + x] = (byte & (0x80 >> (x % 8))) ? 0 : 255;
            }
    } else {
        if (data.size() - pos < static_cast<qsizetype>(r.samples.size()))
            return std::nullopt;
        std::memcpy(r.samples.data(), data.constData() + pos, r.samples.size());
    }
    return r;
}

} // namespace

std::optional<Raster> popplerPageImage(const QString& pdf, int page)
{
    QTemporaryDir dir;
    const QString prefix = dir.filePath(QStringLiteral("img"));
    const QString p = QString::number(page);
    runProgram(QStringLiteral("pdfimages"), {QStringLiteral("-f"), p, QStringLiteral("-l"), p, pdf, prefix});
    const QStringList files = QDir(dir.path()).entryList(QDir::Files, QDir::Name);
    if (files.isEmpty())
        return std::nullopt;
    return readPnm(readAll(dir.filePath(files.first())));
}

std::optional<Raster> popplerRenderedPage(const QString& pdf, int page, int dpi)
{
    const QString p = QString::number(page);
    const ProcessResult r = runProgram(QStringLiteral("pdftoppm"), {QStringLiteral("-f"), p, QStringLiteral("-l"), p,
                                                                    QStringLiteral("-r"), QString::number(dpi),
                                                                    QStringLiteral("-gray"), pdf});
    if (r.exitCode != 0 || r.out.isEmpty())
        return std::nullopt;
    return readPnm(r.out);
}

QString popplerAttachmentList(const QString& pdf)
{
    return QString::fromUtf8(runProgram(QStringLiteral("pdfdetach"), {QStringLiteral("-list"), pdf}).out);
}

QString popplerXmp(const QString& pdf)
{
    return QString::fromUtf8(runProgram(QStringLiteral("pdfinfo"), {QStringLiteral("-meta"), pdf}).out);
}

int qpdfPageCount(const QString& pdf)
{
    const ProcessResult r = runProgram(QStringLiteral("qpdf"), {QStringLiteral("--show-npages"), pdf});
    bool ok = false;
    const int pages = r.out.trimmed().toInt(&ok);
    return r.exitCode == 0 && ok ? pages : -1;
}

QByteArray qpdfUncompressed(const QString& pdf)
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("qdf.pdf"));
    runProgram(QStringLiteral("qpdf"), {QStringLiteral("--qdf"), QStringLiteral("--object-streams=disable"), pdf, out});
    return readAll(out);
}

bool qpdfCheckPasses(const QString& pdf)
{
    return runProgram(QStringLiteral("qpdf"), {QStringLiteral("--check"), pdf}).exitCode == 0;
}

} // namespace inkveil::test
