#include "platform/ocr_reader.h"
#include "platform/resource_limits.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <cmath>

#include <dlfcn.h>
#include <limits>

namespace inkveil::platform {

namespace {

// Where Debian's tesseract-ocr-* packages put their data; TESSDATA_PREFIX,
// which Tesseract itself honours, names another folder.
QString dataFolder()
{
    const QString prefix = qEnvironmentVariable("TESSDATA_PREFIX");
    return prefix.isEmpty() ? QStringLiteral("/usr/share/tesseract-ocr/5/tessdata") : prefix;
}

QStringList splitLanguages(const QString& languages) { return languages.split(QLatin1Char('+')); }

struct Monitor {
    const OcrReader::CancelCheck* cancelled;
    bool wasCancelled = false;
};

// Asked by Tesseract between words.
bool cancelRequested(void* data, int)
{
    auto* monitor = static_cast<Monitor*>(data);
    try {
        if (*monitor->cancelled && (*monitor->cancelled)())
            monitor->wasCancelled = true;
    } catch (...) {
        monitor->wasCancelled = true;
    }
    return monitor->wasCancelled;
}

// Deletes Tesseract's strings.
struct TextDeleter {
    void operator()(char* p) const { delete[] p; }
};
using TessText = std::unique_ptr<char[], TextDeleter>;

// Page-space rectangle of the pixel rectangle [left, right) × [top, bottom).
Rect toPage(const Matrix& toPageSpace, int left, int top, int right, int bottom)
{
    double minX = std::numeric_limits<double>::infinity(), minY = minX;
    double maxX = -minX, maxY = -minX;
    for (const double x : {double(left), double(right)}) {
        for (const double y : {double(top), double(bottom)}) {
            const double px = toPageSpace.a * x + toPageSpace.c * y + toPageSpace.e;
            const double py = toPageSpace.b * x + toPageSpace.d * y + toPageSpace.f;
            minX = std::min(minX, px);
            maxX = std::max(maxX, px);
            minY = std::min(minY, py);
            maxY = std::max(maxY, py);
        }
    }
    return Rect{minX, minY, maxX - minX, maxY - minY};
}

std::optional<Matrix> inverted(const Matrix& m)
{
    const double det = m.a * m.d - m.b * m.c;
    if (det == 0 || !std::isfinite(det))
        return std::nullopt;
    Matrix r;
    r.a = m.d / det;
    r.b = -m.b / det;
    r.c = -m.c / det;
    r.d = m.a / det;
    r.e = -(r.a * m.e + r.c * m.f);
    r.f = -(r.b * m.e + r.d * m.f);
    return r;
}

// Debian's Tesseract parallelizes its recognition with OpenMP, a team of
// threads per call. We read one page per core instead: nested teams would
// oversubscribe the cores and spin (several times slower in all). With no
// active levels allowed, every OpenMP region runs on the calling thread alone;
// the setting belongs to the thread, so each reading thread makes it. Looked
// up at run time: libgomp comes with Tesseract where it is built so.
void keepTesseractOnThisThread()
{
    using SetLevels = void (*)(int);
    static const auto set = reinterpret_cast<SetLevels>(dlsym(RTLD_DEFAULT, "omp_set_max_active_levels"));
    if (set)
        set(0);
}

} // namespace

OcrReader::OcrReader(const QString& languages)
{

    if (const auto problem = languageProblem(languages))
        throw OcrError(OcrError::Kind::languageMissing, *problem);
    m_api = std::make_unique<tesseract::TessBaseAPI>();
    // Tesseract's own messages would go to stderr; ours say what matters.
    m_api->SetVariable("debug_file", "/dev/null");
    const QByteArray folder = QFile::encodeName(dataFolder());
    const QByteArray codes = languages.toLatin1();
    if (m_api->Init(folder.constData(), codes.constData(), tesseract::OEM_LSTM_ONLY) != 0)
        throw OcrError(OcrError::Kind::languageDamaged,
                       QStringLiteral("The OCR language data for “%1” could not be loaded. Reinstall its Debian package.")
                           .arg(languages));
    m_api->SetPageSegMode(tesseract::PSM_AUTO);
}

OcrReader::~OcrReader()
{
    if (m_api)
        m_api->End();
}

std::vector<OcrWord> OcrReader::read(const PixelBuffer& grey, int dpi, const Matrix& pageToPixel,
                                     const CancelCheck& cancelled)
{
    const auto toPageSpace = inverted(pageToPixel);
    if (grey.components() != 1 || grey.width() < 1 || grey.height() < 1 || !toPageSpace)
        throw OcrError(OcrError::Kind::failed, QStringLiteral("not a grey page image"));

    keepTesseractOnThisThread();
    m_api->SetImage(grey.row(0), grey.width(), grey.height(), 1, static_cast<int>(grey.stride()));
    m_api->SetSourceResolution(dpi);

    Monitor state{&cancelled};
    tesseract::ETEXT_DESC monitor;
    monitor.cancel = cancelRequested;
    monitor.cancel_this = &state;
    const auto budget = pageTimeBudget().count();
    monitor.set_deadline_msecs(static_cast<std::int32_t>(std::clamp<long long>(budget, 1, std::numeric_limits<std::int32_t>::max())));
    const int status = m_api->Recognize(&monitor);
    if (state.wasCancelled) {
        m_api->Clear();
        throw OcrError(OcrError::Kind::cancelled, QStringLiteral("cancelled"));
    }
    if (monitor.deadline_exceeded()) {
        m_api->Clear();
        throw OcrError(OcrError::Kind::timedOut, QStringLiteral("the page took too long to read"));
    }
    if (status != 0) {
        m_api->Clear();
        throw OcrError(OcrError::Kind::failed, QStringLiteral("the page could not be read"));
    }

    std::vector<OcrWord> words;
    std::unique_ptr<tesseract::ResultIterator> it(m_api->GetIterator());
    if (it) {
        do {
            if (it->Empty(tesseract::RIL_WORD))
                continue;
            OcrWord word;
            int l = 0, t = 0, r = 0, b = 0;
            if (!it->BoundingBox(tesseract::RIL_WORD, &l, &t, &r, &b))
                continue;
            word.box = toPage(*toPageSpace, l, t, r, b);
            word.endsLine = it->IsAtFinalElement(tesseract::RIL_TEXTLINE, tesseract::RIL_WORD);
            // The symbols of this word, then back to the word level.
            do {
                const TessText text(it->GetUTF8Text(tesseract::RIL_SYMBOL));
                if (text && it->BoundingBox(tesseract::RIL_SYMBOL, &l, &t, &r, &b))
                    word.symbols.push_back(OcrSymbol{QString::fromUtf8(text.get()), toPage(*toPageSpace, l, t, r, b)});
            } while (!it->IsAtFinalElement(tesseract::RIL_WORD, tesseract::RIL_SYMBOL) && it->Next(tesseract::RIL_SYMBOL));
            if (!word.symbols.empty())
                words.push_back(std::move(word));
        } while (it->Next(tesseract::RIL_WORD));
    }
    m_api->Clear();
    return words;
}

QStringList OcrReader::installedLanguages()
{
    QStringList codes;
    const QFileInfoList files = QDir(dataFolder()).entryInfoList({QStringLiteral("*.traineddata")}, QDir::Files, QDir::Name);
    for (const QFileInfo& file : files)
        codes.append(file.completeBaseName());
    return codes;
}

std::optional<QString> OcrReader::languageProblem(const QString& languages)
{
    static const QRegularExpression code(QStringLiteral("^[A-Za-z0-9_]+$"));
    const QStringList installed = installedLanguages();
    for (const QString& language : splitLanguages(languages)) {
        if (!code.match(language).hasMatch())
            return QStringLiteral("“%1” is not an OCR language: give codes such as eng or eng+deu.").arg(languages);
        if (!installed.contains(language)) {
            // Debian names the package after the code, with dashes: chi_sim -> chi-sim.
            const QString package = QStringLiteral("tesseract-ocr-") + language.toLower().replace(QLatin1Char('_'), QLatin1Char('-'));
            return QStringLiteral("The OCR language data for “%1” is not installed. Install the Debian package %2.")
                .arg(language, package);
        }
    }
    return std::nullopt;
}

} // namespace inkveil::platform
