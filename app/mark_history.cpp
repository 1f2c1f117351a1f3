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

} // namespace

MarkHistory::MarkHistory(AppModel& model, QObject* parent) : QObject(parent), m_model(model)
{
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
            m_model.expressions().value(id)};
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
            steps.undo.append(before);
            if (steps.undo.size() > kMaxSteps)
                steps.undo.removeFirst();
            steps.redo.clear();
            recorded = true;
        }
        known.insert(input.id, std::move(now));
    }
    // Inputs that left the list take their steps with them.
    for (auto it = m_steps.begin(); it != m_steps.end();) {
        if (known.contains(it.key())) {
            ++it;
        } else {
            it = m_steps.erase(it);
            recorded = true;
        }
    }
    m_known = std::move(known);
    if (recorded)
        Q_EMIT changed();
}

bool MarkHistory::canUndo()
{
    settle();
    const auto id = m_model.selection();
    return id && !m_steps.value(*id).undo.isEmpty();
}

bool MarkHistory::canRedo()
{
    settle();
    const auto id = m_model.selection();
    return id && !m_steps.value(*id).redo.isEmpty();
}

void MarkHistory::undo() { step(true); }
void MarkHistory::redo() { step(false); }

void MarkHistory::step(bool back)
{
    settle();
    const auto input = m_model.selected();
    if (!input)
        return;
    const auto found = m_steps.find(input->id);
    if (found == m_steps.end())
        return;
    QList<State>& from = back ? found->undo : found->redo;
    QList<State>& to = back ? found->redo : found->undo;
    if (from.isEmpty())
        return;

    const State target = from.takeLast();
    const State current = m_known.value(input->id);
    to.append(current);
    m_known.insert(input->id, target);
    m_model.restorePatterns(input->id, target.patternNames, target.expressions);
    m_model.restoreMarks(input->id, target.marks, target.terms);
    if (const auto page = pageToShow(current.marks, target.marks, m_model.currentPage()))
        m_model.setCurrentPage(static_cast<int>(*page));
    Q_EMIT changed();
}

// ---- The model's side ------------------------------------------------------

void AppModel::restoreMarks(const QUuid& id, const QList<RedactionRegion>& marks, const QStringList& terms)
{
    const bool listed = std::any_of(m_inputs.cbegin(), m_inputs.cend(),
                                    [&id](const RedactInput& input) { return input.id == id; });
    if (!listed)
        return;
    m_marks[id] = marks;
    Q_EMIT marksChanged();
    m_searchTerms[id] = terms;
    Q_EMIT searchTermsChanged();
}

} // namespace inkveil
