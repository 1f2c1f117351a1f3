#include "app/mark_history.h"

#include "app/app_model.h"

#include <QMetaObject>

#include <algorithm>
#include <optional>

namespace inkveil {

namespace {

// The first page holding a mark that is in one list but not the other, unless
// some such mark lies on `shown`.
std::optional<std::int64_t> pageToShow(const QList<RedactionRegion>& before, const QList<RedactionRegion>& after,
                                       std::int64_t shown)
{
    std::optional<std::int64_t> first;
    auto consider = [&](const QList<RedactionRegion>& from, const QList<RedactionRegion>& other) {
        for (const RedactionRegion& region : from) {
            if (other.contains(region))
                continue;
            if (region.pageIndex() == shown)
                return false;
            first = first ? std::min(*first, region.pageIndex()) : region.pageIndex();
        }
        return true;
    };
    if (!consider(before, after) || !consider(after, before))
        return std::nullopt;
    return first;
}

template <typename T>
void keepAtMost(QList<T>& list, qsizetype count)
{
    while (list.size() > count)
        list.removeFirst();
}

} // namespace

MarkHistory::MarkHistory(AppModel& model, QObject* parent) : QObject(parent), m_model(model)
{
    m_knownInputs = model.inputs();
    for (const RedactInput& input : model.inputs())
        m_known.insert(input.id, stateOf(input.id));
    connect(&model, &AppModel::marksChanged, this, &MarkHistory::scheduleSettle);
    connect(&model, &AppModel::searchTermsChanged, this, &MarkHistory::scheduleSettle);
    connect(&model, &AppModel::inputsChanged, this, &MarkHistory::scheduleSettle);
    connect(&model, &AppModel::selectionChanged, this, &MarkHistory::changed);
}

MarkHistory::State MarkHistory::stateOf(const QUuid& id) const
{
    return {m_model.marks().value(id), m_model.searchTerms().value(id), m_model.patternNames().value(id),
            m_model.expressions().value(id), m_model.exclusions().value(id)};
}

// One user action may publish several changes in a row (marks, then phrases):
// they become one step when the event loop next runs.
void MarkHistory::scheduleSettle()
{
    if (m_settleScheduled)
        return;
    m_settleScheduled = true;
    QMetaObject::invokeMethod(this, &MarkHistory::settle, Qt::QueuedConnection);
}

void MarkHistory::settle()
{
    m_settleScheduled = false;
    bool recorded = false;
    QHash<QUuid, State> known;
    for (const RedactInput& input : m_model.inputs()) {
        State now = stateOf(input.id);
        const State before = m_known.value(input.id);
        if (!(now == before)) {
            Steps& steps = m_steps[input.id];
            steps.undo.append({before, ++m_order});
            keepAtMost(steps.undo, kMaxSteps);
            steps.redo.clear();
            m_restored.clear();
            recorded = true;
        }
        known.insert(input.id, std::move(now));
    }
    // Inputs that left the list: one removal to undo, with their histories.
    Removal removal;
    for (qsizetype i = 0; i < m_knownInputs.size(); ++i) {
        const RedactInput& input = m_knownInputs[i];
        if (known.contains(input.id))
            continue;
        removal.inputs.append({i, input});
        removal.states.insert(input.id, m_known.value(input.id));
        removal.steps.insert(input.id, m_steps.take(input.id));
    }
    if (!removal.inputs.isEmpty()) {
        removal.order = ++m_order;
        m_removals.append(std::move(removal));
        keepAtMost(m_removals, kMaxSteps);
        m_restored.clear();
        recorded = true;
    }
    m_knownInputs = m_model.inputs();
    m_known = std::move(known);
    if (recorded)
        Q_EMIT changed();
}

bool MarkHistory::canUndo()
{
    settle();
    const auto id = m_model.selection();
    return (id && !m_steps.value(*id).undo.isEmpty()) || !m_removals.isEmpty();
}

bool MarkHistory::canRedo()
{
    settle();
    const auto id = m_model.selection();
    return (id && !m_steps.value(*id).redo.isEmpty()) || !m_restored.isEmpty();
}

void MarkHistory::undo()
{
    settle();
    const auto id = m_model.selection();
    const quint64 marks = id && !m_steps.value(*id).undo.isEmpty() ? m_steps.value(*id).undo.last().order : 0;
    const quint64 removal = m_removals.isEmpty() ? 0 : m_removals.last().order;
    if (removal > marks)
        stepRemoval(true);
    else if (marks > 0)
        stepMarks(true);
}

void MarkHistory::redo()
{
    settle();
    const auto id = m_model.selection();
    const quint64 marks = id && !m_steps.value(*id).redo.isEmpty() ? m_steps.value(*id).redo.last().order : 0;
    const quint64 removal = m_restored.isEmpty() ? 0 : m_restored.last().order;
    if (removal > marks)
        stepRemoval(false);
    else if (marks > 0)
        stepMarks(false);
}

void MarkHistory::stepMarks(bool back)
{
    const auto input = m_model.selected();
    if (!input)
        return;
    const auto found = m_steps.find(input->id);
    if (found == m_steps.end())
        return;
    QList<Step>& from = back ? found->undo : found->redo;
    QList<Step>& to = back ? found->redo : found->undo;
    if (from.isEmpty())
        return;

    const State target = from.takeLast().state;
    const State current = m_known.value(input->id);
    to.append({current, ++m_order});
    m_known.insert(input->id, target);
    m_model.restorePatterns(input->id, target.patternNames, target.expressions);
    m_model.restoreMarks(input->id, target.marks, target.terms, target.exclusions);
    if (const auto page = pageToShow(current.marks, target.marks, m_model.currentPage()))
        m_model.setCurrentPage(static_cast<int>(*page));
    Q_EMIT changed();
}

void MarkHistory::stepRemoval(bool back)
{
    QList<Removal>& from = back ? m_removals : m_restored;
    QList<Removal>& to = back ? m_restored : m_removals;
    if (from.isEmpty())
        return;
    Removal removal = from.takeLast();
    removal.order = ++m_order;
    if (back) {
        m_model.restoreInputs(removal.inputs);
        for (const RemovedInput& removed : removal.inputs) {
            const QUuid id = removed.input.id;
            const State state = removal.states.value(id);
            m_model.restoreMarks(id, state.marks, state.terms, state.exclusions);
            const auto& inputs = m_model.inputs();
            if (std::any_of(inputs.begin(), inputs.end(), [&id](const RedactInput& i) { return i.id == id; })) {
                m_known.insert(id, stateOf(id));
                m_steps.insert(id, removal.steps.value(id));
            }
        }
    } else {
        QList<QUuid> ids;
        for (const RemovedInput& removed : removal.inputs) {
            const QUuid id = removed.input.id;
            ids.append(id);
            removal.states.insert(id, m_known.take(id));
            removal.steps.insert(id, m_steps.take(id));
        }
        m_model.removeInputs(ids);
    }
    m_knownInputs = m_model.inputs();
    to.append(std::move(removal));
    Q_EMIT changed();
}

// ---- The model's side ------------------------------------------------------

void AppModel::restoreMarks(const QUuid& id, const QList<RedactionRegion>& marks, const QStringList& terms,
                            const QList<RedactionRegion>& exclusions)
{
    const bool listed = std::any_of(m_inputs.cbegin(), m_inputs.cend(),
                                    [&id](const RedactInput& input) { return input.id == id; });
    if (!listed)
        return;
    m_marks[id] = marks;
    m_exclusions[id] = exclusions;
    if (m_highlightedMark && m_selection == id && !marks.contains(*m_highlightedMark))
        setHighlightedMark(std::nullopt);
    Q_EMIT marksChanged();
    m_searchTerms[id] = terms;
    Q_EMIT searchTermsChanged();
    // "Marked 21 occurrences" no longer holds once the marks went back.
    if (!m_resultIsRun)
        setResultMessage(std::nullopt);
}

} // namespace inkveil
