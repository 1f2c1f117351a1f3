#include "app/app_model.h"

#include "app/model_messages.h"
#include "core/engine.h"
#include "platform/pdf_document.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace inkveil {

namespace {

// The comparison key for duplicates: absolute, with "." and ".." resolved.
QString standardized(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

void AppModel::add(const QStringList& locations)
{
    guarded([&] { addLocations(locations); });
}

void AppModel::addLocations(const QStringList& locations)
{
    const QStringList discovered = InkveilEngine::discover(locations);
    if (discovered.isEmpty()) {
        setError(ModelMessages::addFailedTitle, ModelMessages::noPdfsFound);
        return;
    }

    QSet<QString> known;
    for (const RedactInput& input : std::as_const(m_inputs))
        known.insert(standardized(input.url));
    QStringList candidates;
    for (const QString& location : discovered) {
        const QString key = standardized(location);
        if (known.contains(key))
            continue;
        known.insert(key);
        candidates.append(location);
    }

    QList<RedactInput> added;
    QStringList unreadable;
    for (const QString& candidate : std::as_const(candidates)) {
        if (auto input = RedactInput::open(m_context, candidate, QUuid::createUuid()))
            added.append(std::move(*input));
        else
            unreadable.append(QFileInfo(candidate).fileName());
    }

    if (added.isEmpty()) {
        if (!candidates.isEmpty())
            setError(ModelMessages::addFailedTitle, ModelMessages::pdfUnreadable);
        return;
    }
    if (added.size() < candidates.size())
        setError(ModelMessages::addFailedTitle, ModelMessages::somePdfsUnreadable(unreadable));

    m_inputs.append(added);
    Q_EMIT inputsChanged();

    if (!m_selection)
        setSelection(added.front().id);
    setResultMessage(std::nullopt);
    setOutputs({});
}

void AppModel::chooseInputs()
{
    if (!m_dialogs)
        return;
    const QStringList chosen = m_dialogs->chooseInputs(DialogTexts::inputsTitle, DialogTexts::inputsPrompt);
    if (!chosen.isEmpty())
        add(chosen);
}

void AppModel::chooseInputFolder()
{
    if (!m_dialogs)
        return;
    const auto chosen = m_dialogs->chooseOutputFolder(DialogTexts::folderTitle, DialogTexts::inputsPrompt, std::nullopt);
    if (chosen && !chosen->isEmpty())
        add({*chosen});
}

void AppModel::removeSelected()
{
    if (m_selection)
        dropInputs({*m_selection});
}

void AppModel::removeAll()
{
    QList<QUuid> ids;
    for (const RedactInput& input : std::as_const(m_inputs))
        ids.append(input.id);
    dropInputs(ids);
    setPreviewImage({});
    setOutputs({});
    setResultMessage(std::nullopt);
}

void AppModel::removeInputs(const QList<QUuid>& ids)
{
    dropInputs(ids);
}

// What a search learnt about a region stays, so that undo brings it back whole.
void AppModel::dropInputs(const QList<QUuid>& ids)
{
    if (ids.isEmpty())
        return;
    const bool selectedGoes = m_selection && ids.contains(*m_selection);
    const qsizetype before = m_inputs.size();
    m_inputs.removeIf([&ids](const RedactInput& input) { return ids.contains(input.id); });
    if (m_inputs.size() == before)
        return;
    Q_EMIT inputsChanged();
    for (const QUuid& id : ids) {
        m_marks.remove(id);
        m_exclusions.remove(id);
        m_searchTerms.remove(id);
        m_phraseCounts.remove(id);
        m_patternNames.remove(id);
        m_expressions.remove(id);
    }
    Q_EMIT marksChanged();
    Q_EMIT searchTermsChanged();
    if (selectedGoes)
        setSelection(m_inputs.isEmpty() ? std::nullopt : std::optional<QUuid>(m_inputs.front().id));
}

void AppModel::restoreInputs(const QList<RemovedInput>& removed)
{
    QList<RemovedInput> ordered = removed;
    std::sort(ordered.begin(), ordered.end(),
              [](const RemovedInput& a, const RemovedInput& b) { return a.index < b.index; });
    QSet<QString> listed;
    for (const RedactInput& input : std::as_const(m_inputs))
        listed.insert(standardized(input.url));
    std::optional<QUuid> first;
    for (const RemovedInput& item : std::as_const(ordered)) {
        if (listed.contains(standardized(item.input.url)))
            continue;
        m_inputs.insert(std::clamp<qsizetype>(item.index, 0, m_inputs.size()), item.input);
        if (!first)
            first = item.input.id;
    }
    if (!first)
        return;
    Q_EMIT inputsChanged();
    setSelection(first);
}

bool AppModel::hasUnredactedMarks() const
{
    for (const RedactInput& input : m_inputs) {
        const QList<RedactionRegion> marks = m_marks.value(input.id);
        if (!marks.isEmpty() && marks != m_redactedMarks.value(input.id))
            return true;
    }
    return false;
}

bool AppModel::confirmQuit()
{
    if (m_isRedacting || !hasUnredactedMarks() || !m_dialogs)
        return true;
    const int answer = m_dialogs->askAlert(ModelMessages::quitUnredactedTitle, ModelMessages::quitUnredactedText,
                                           {ModelMessages::keepWorkingButton, ModelMessages::quitAnywayButton});
    return answer == 1;
}

std::unique_ptr<platform::Document> AppModel::selectedDocument()
{
    const auto input = selected();
    if (!input)
        return nullptr;
    return platform::Document::open(m_context, input->url);
}

} // namespace inkveil
