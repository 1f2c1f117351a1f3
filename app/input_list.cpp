#include "app/app_model.h"

#include "app/model_messages.h"
#include "core/engine.h"
#include "platform/pdf_document.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

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
        setErrorMessage(ModelMessages::noPdfsFound);
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
    for (const QString& candidate : std::as_const(candidates)) {
        if (auto input = RedactInput::open(m_context, candidate, QUuid::createUuid()))
            added.append(std::move(*input));
    }

    if (added.isEmpty()) {
        if (!candidates.isEmpty())
            setErrorMessage(ModelMessages::pdfUnreadable);
        return;
    }
    if (added.size() < candidates.size())
        setErrorMessage(ModelMessages::somePdfsUnreadable);

    m_inputs.append(added);
    Q_EMIT inputsChanged();

    if (!m_selection)
        setSelection(added.front().id);
    setResultMessage(std::nullopt);
    setOutputs({});
    refreshPreview();
}

void AppModel::chooseInputs()
{
    if (!m_dialogs)
        return;
    const QStringList chosen = m_dialogs->chooseInputs(DialogTexts::inputsTitle, DialogTexts::inputsPrompt);
    if (!chosen.isEmpty())
        add(chosen);
}

void AppModel::removeSelected()
{
    if (!m_selection)
        return;
    const QUuid id = *m_selection;
    m_inputs.removeIf([&id](const RedactInput& input) { return input.id == id; });
    Q_EMIT inputsChanged();
    m_marks.remove(id);
    Q_EMIT marksChanged();
    m_searchTerms.remove(id);
    m_phraseCounts.remove(id);
    m_patternNames.remove(id);
    m_expressions.remove(id);
    Q_EMIT searchTermsChanged();
    setSelection(m_inputs.isEmpty() ? std::nullopt : std::optional<QUuid>(m_inputs.front().id));
}

void AppModel::removeAll()
{
    auto assignEmpty = [this](auto& member, void (AppModel::*signal)()) {
        if (member.isEmpty())
            return;
        member.clear();
        Q_EMIT(this->*signal)();
    };
    assignEmpty(m_inputs, &AppModel::inputsChanged);
    assignEmpty(m_marks, &AppModel::marksChanged);
    m_phraseCounts.clear();
    m_patternNames.clear();
    m_expressions.clear();
    assignEmpty(m_searchTerms, &AppModel::searchTermsChanged);
    setSelection(std::nullopt);
    setPreviewImage({});
    setOutputs({});
    setResultMessage(std::nullopt);
}

std::unique_ptr<platform::Document> AppModel::selectedDocument()
{
    const auto input = selected();
    if (!input)
        return nullptr;
    return platform::Document::open(m_context, input->url);
}

} // namespace inkveil
