#pragma once

#include "app/app_model.h"
#include "core/records.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUuid>

namespace inkveil {

// Undo and redo of mark changes, one history per document, and of removing
// documents from the list. It watches the model: whatever changes an input's
// marks, phrases or exclusions (a drag, a removal, a search, clearing) becomes
// one step, however many change signals it took. Undo takes back the latest of
// the selected document's steps and the removals of documents.
class MarkHistory : public QObject {
    Q_OBJECT

public:
    // Steps kept per document, and removals kept; the oldest go first.
    static constexpr qsizetype kMaxSteps = 200;

    // Watches model, which must outlive this object.
    explicit MarkHistory(AppModel& model, QObject* parent = nullptr);

    // For the selected input, or a removal of documents.
    bool canUndo();
    bool canRedo();
    // Restores the selected input's marks and phrases from before its last
    // change (or after its last undone one), or puts back the documents last
    // removed. When nothing restored lies on the shown page, the first page
    // that changed is shown.
    void undo();
    void redo();

Q_SIGNALS:
    // canUndo() or canRedo() may have changed.
    void changed();

private:
    struct State {
        QList<RedactionRegion> marks;
        QStringList terms;
        QStringList patternNames;
        QStringList expressions;
        QList<RedactionRegion> exclusions;
        friend bool operator==(const State&, const State&) = default;
    };
    // A state to go back to; order tells steps and removals apart in time.
    struct Step {
        State state;
        quint64 order = 0;
    };
    struct Steps {
        QList<Step> undo;
        QList<Step> redo;
    };
    // Documents that left the list in one action, with their histories.
    struct Removal {
        QList<RemovedInput> inputs;
        QHash<QUuid, State> states;
        QHash<QUuid, Steps> steps;
        quint64 order = 0;
    };

    void scheduleSettle();
    // Turns changes seen since the last settle into steps.
    void settle();
    void stepMarks(bool back);
    void stepRemoval(bool back);
    State stateOf(const QUuid& id) const;

    AppModel& m_model;
    QList<RedactInput> m_knownInputs;
    QHash<QUuid, State> m_known;
    QHash<QUuid, Steps> m_steps;
    QList<Removal> m_removals;
    QList<Removal> m_restored; // removals undone, to redo
    quint64 m_order = 0;
    bool m_settleScheduled = false;
};

} // namespace inkveil
