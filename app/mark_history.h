#pragma once

#include "core/records.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUuid>

namespace inkveil {

class AppModel;

// Undo and redo of mark changes, one history per document. It watches the
// model: whatever changes an input's marks or phrases (a drag, a removal, a
// search, clearing) becomes one step, however many change signals it took.
// Steps of a removed input are forgotten with it.
class MarkHistory : public QObject {
    Q_OBJECT

public:
    // Steps kept per document; the oldest go first.
    static constexpr qsizetype kMaxSteps = 200;

    // Watches model, which must outlive this object.
    explicit MarkHistory(AppModel& model, QObject* parent = nullptr);

    // For the selected input.
    bool canUndo();
    bool canRedo();
    // Restores the selected input's marks and phrases from before its last
    // change (or after its last undone one). When nothing restored lies on the
    // shown page, the first page that changed is shown.
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
        friend bool operator==(const State&, const State&) = default;
    };
    struct Steps {
        QList<State> undo;
        QList<State> redo;
    };

    void scheduleSettle();
    // Turns changes seen since the last settle into steps.
    void settle();
    void step(bool back);
    State stateOf(const QUuid& id) const;

    AppModel& m_model;
    QHash<QUuid, State> m_known;
    QHash<QUuid, Steps> m_steps;
    bool m_settleScheduled = false;
};

} // namespace inkveil
