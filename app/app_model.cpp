#include "app/app_model.h"

#include "update/app_bundle.h"
#include "app/model_messages.h"
#include "core/build_settings.h"

#include <QDir>
#include <QMetaObject>
#include <QSettings>

#include <exception>

namespace inkveil {

namespace {

const QString kSmoothKey = QStringLiteral("mervo.inkveil.smoothText");

// Identity, not pixels: every render is a new image.
bool sameImage(const QImage& a, const QImage& b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() == b.isNull();
    return a.cacheKey() == b.cacheKey();
}

// A path as the platform makes a file location from a string: absolute, cleaned.
QString locationFromPath(const QString& path)
{
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

// Stores value; publishes only a real change.
template <typename T>
void assign(AppModel* model, T& member, const T& value, void (AppModel::*signal)())
{
    const bool changed = !(member == value);
    member = value;
    if (changed)
        Q_EMIT(model->*signal)();
}

RedactionResult engineRedact(const QString& source, const QString& destination, const RedactionPlan& plan,
                             const InkveilEngine::CancelCheck& shouldCancel, const InkveilEngine::PageProgress& progress)
{
    return InkveilEngine::redact(source, destination, plan, shouldCancel, progress);
}

} // namespace

AppModel::AppModel(QObject* parent)
    : QObject(parent),
      m_redactor(&engineRedact),
      m_version(runningVersion()),
      m_feedbackURL(BuildSettings::feedbackPage()),
      m_websiteURL(BuildSettings::website())
{
    m_preview = new PreviewRenderer(this);
    connect(m_preview, &PreviewRenderer::ready, this, &AppModel::applyPreview);
    for (auto signal : {&AppModel::inputsChanged, &AppModel::selectionChanged, &AppModel::marksChanged,
                        &AppModel::searchTextChanged, &AppModel::isRedactingChanged, &AppModel::isReadingChanged})
        connect(this, signal, this, &AppModel::publishDerived);

    m_smooth = QSettings(QStringLiteral("Mervo"), QStringLiteral("Inkveil")).value(kSmoothKey, false).toBool();

    if (qEnvironmentVariableIsSet("MERVO_UI_TEST_OUTPUT_DIR"))
        m_outputFolder = locationFromPath(qEnvironmentVariable("MERVO_UI_TEST_OUTPUT_DIR"));

    if (BuildSettings::selfUpdates() && !qEnvironmentVariableIsSet("DISABLE_AUTO_UPDATE")) {
        m_automaticUpdateCheckStarted = true;
        // Queued, so that whoever made the model can set its collaborators first.
        QMetaObject::invokeMethod(this, &AppModel::checkForUpdate, Qt::QueuedConnection);
    }

    if (qEnvironmentVariableIsSet("MERVO_UI_TEST_INPUTS")) {
        const QString value = qEnvironmentVariable("MERVO_UI_TEST_INPUTS");
        // Queued to this object: dropped if the model is gone before it runs.
        QMetaObject::invokeMethod(
            this,
            [this, value] {
                QStringList paths;
                for (const QString& piece : value.split(u'\n', Qt::SkipEmptyParts))
                    paths.append(locationFromPath(piece));
                add(paths);
            },
            Qt::QueuedConnection);
    }
}

AppModel::~AppModel()
{
    if (m_reader.joinable()) {
        m_reader.request_stop();
        m_reader.join();
    }
    if (m_worker.joinable()) {
        m_worker.request_stop();
        m_worker.join();
    }
}

const QUrl& AppModel::updateManifest()
{
    static const QUrl manifest = BuildSettings::updateManifest();
    return manifest;
}

void AppModel::setRedactor(Redactor redactor)
{
    m_redactor = redactor ? std::move(redactor) : Redactor(&engineRedact);
}


void AppModel::guarded(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const Error& error) {
        setErrorMessage(error.description());
    } catch (const std::exception& error) {
        const QString text = QString::fromUtf8(error.what());
        setErrorMessage(text.isEmpty() ? ModelMessages::unexpectedFailure : text);
    } catch (...) {
        setErrorMessage(ModelMessages::unexpectedFailure);
    }
}

// ---- Setters --------------------------------------------------------------

void AppModel::setSelection(const std::optional<QUuid>& selection)
{
    const bool other = m_selection != selection;
    assign(this, m_selection, selection, &AppModel::selectionChanged);
    setHighlightedMark(std::nullopt);
    // A search's message speaks of the document it searched.
    if (other && !m_resultIsRun)
        setResultMessage(std::nullopt);
    // Straight to the first page: one render per change of selection.
    assign(this, m_currentPage, 0, &AppModel::currentPageChanged);
    refreshPreview();
}

void AppModel::setCurrentPage(int page)
{
    if (m_highlightedMark && m_highlightedMark->pageIndex() != page)
        setHighlightedMark(std::nullopt);
    assign(this, m_currentPage, page, &AppModel::currentPageChanged);
    refreshPreview();
}

void AppModel::setSearchText(const QString& text) { assign(this, m_searchText, text, &AppModel::searchTextChanged); }
void AppModel::setDpi(double dpi) { assign(this, m_dpi, dpi, &AppModel::dpiChanged); }
void AppModel::setSmooth(bool smooth)
{
    if (smooth == m_smooth)
        return;
    QSettings(QStringLiteral("Mervo"), QStringLiteral("Inkveil")).setValue(kSmoothKey, smooth);
    assign(this, m_smooth, smooth, &AppModel::smoothChanged);
}
void AppModel::setOcr(const OcrSettings& ocr) { assign(this, m_ocr, ocr, &AppModel::ocrChanged); }
void AppModel::setOutputFolder(const std::optional<QString>& folder)
{
    assign(this, m_outputFolder, folder, &AppModel::outputFolderChanged);
}
void AppModel::setIsDropTargeted(bool targeted) { assign(this, m_isDropTargeted, targeted, &AppModel::isDropTargetedChanged); }
void AppModel::setErrorMessage(const std::optional<QString>& message)
{
    if (message) {
        setError(ModelMessages::runFailedTitle, *message);
    } else {
        m_damagedDocument.reset();
        assign(this, m_errorMessage, message, &AppModel::errorMessageChanged);
    }
}

void AppModel::setError(const QString& title, const QString& message, const std::optional<QString>& damagedDocument)
{
    // The offer to redact anyway goes with the message it answers, and is
    // there when the message is shown.
    m_damagedDocument = damagedDocument;
    const bool changed = m_errorTitle != title || m_errorMessage != message;
    m_errorTitle = title;
    m_errorMessage = message;
    if (changed)
        Q_EMIT errorMessageChanged();
}
void AppModel::setIsRedacting(bool redacting) { assign(this, m_isRedacting, redacting, &AppModel::isRedactingChanged); }
void AppModel::setProgress(double progress) { assign(this, m_progress, progress, &AppModel::progressChanged); }
void AppModel::setProgressText(const QString& text) { assign(this, m_progressText, text, &AppModel::progressTextChanged); }
void AppModel::setResultMessage(const std::optional<QString>& message, bool ofRun)
{
    const bool kindChanged = m_resultIsRun != (message && ofRun);
    m_resultIsRun = message && ofRun;
    if (kindChanged && m_resultMessage == message)
        Q_EMIT resultMessageChanged();
    assign(this, m_resultMessage, message, &AppModel::resultMessageChanged);
}
void AppModel::setOutputs(const QStringList& outputs) { assign(this, m_outputs, outputs, &AppModel::outputsChanged); }
void AppModel::setAvailableUpdate(const std::optional<UpdateInfo>& update)
{
    assign(this, m_availableUpdate, update, &AppModel::availableUpdateChanged);
}
void AppModel::setIsUpdating(bool updating) { assign(this, m_isUpdating, updating, &AppModel::isUpdatingChanged); }
void AppModel::setIsCheckingForUpdate(bool checking)
{
    assign(this, m_isCheckingForUpdate, checking, &AppModel::isCheckingForUpdateChanged);
}


void AppModel::setPreviewImage(const QImage& image)
{
    const bool changed = !sameImage(m_previewImage, image);
    m_previewImage = image;
    if (changed)
        Q_EMIT previewImageChanged();
}

// ---- Derived values -------------------------------------------------------

std::optional<RedactInput> AppModel::selected() const
{
    if (!m_selection)
        return std::nullopt;
    for (const RedactInput& input : m_inputs) {
        if (input.id == *m_selection)
            return input;
    }
    return std::nullopt;
}

int AppModel::selectedPageCount() const
{
    const auto input = selected();
    return input ? input->pageCount : 0;
}

QList<RedactInput> AppModel::readyInputs() const
{
    QList<RedactInput> ready;
    for (const RedactInput& input : m_inputs) {
        if (!m_marks.value(input.id).isEmpty())
            ready.append(input);
    }
    return ready;
}

QList<RedactionRegion> AppModel::selectedMarks() const
{
    return m_selection ? m_marks.value(*m_selection) : QList<RedactionRegion>();
}

QString AppModel::actionTitle() const
{
    return ModelMessages::actionTitle(readyInputs().size());
}

bool AppModel::canRedact() const
{
    return !m_isRedacting && !readyInputs().isEmpty();
}

bool AppModel::canMarkAll() const
{
    return m_selection.has_value() && !m_searchText.trimmed().isEmpty() && !m_isReading;
}

void AppModel::publishDerived()
{
    auto publish = [this](auto& last, auto now, void (AppModel::*signal)()) {
        if (last == now)
            return;
        last = std::move(now);
        Q_EMIT(this->*signal)();
    };
    publish(m_publishedSelected, selected(), &AppModel::selectedChanged);
    publish(m_publishedSelectedMarks, selectedMarks(), &AppModel::selectedMarksChanged);
    publish(m_publishedReadyInputs, readyInputs(), &AppModel::readyInputsChanged);
    publish(m_publishedCanRedact, canRedact(), &AppModel::canRedactChanged);
    publish(m_publishedCanMarkAll, canMarkAll(), &AppModel::canMarkAllChanged);
}

} // namespace inkveil
