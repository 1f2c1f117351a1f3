#include "ui/file_detail.h"

#include <QLocale>

namespace inkveil {

QString fileSize(qint64 bytes)
{
    // Whole kilobytes, one decimal for megabytes, two beyond.
    int decimals = 0;
    if (bytes >= 1'000'000'000)
        decimals = 2;
    else if (bytes >= 1'000'000)
        decimals = 1;
    return QLocale().formattedDataSize(bytes, decimals, QLocale::DataSizeSIFormat);
}

QString fileDetail(const RedactInput& input)
{
    return QString::number(input.pageCount) + QStringLiteral(" page") + (input.pageCount == 1 ? QString() : QStringLiteral("s"))
           + QStringLiteral(" \u00B7 ") + fileSize(input.byteCount);
}

} // namespace inkveil
