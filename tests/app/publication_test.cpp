#include "tests/app/model_fixture.h"

#include <QMetaMethod>

#include <map>
#include <memory>

using namespace inkveil;
using namespace inkveil::test;

namespace {

// Records every change signal of the model by name.
class AllSignals {
public:
    explicit AllSignals(AppModel& model)
    {
        const QMetaObject* meta = model.metaObject();
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            if (method.methodType() == QMetaMethod::Signal)
                m_spies.emplace(QString::fromLatin1(method.name()), std::make_unique<QSignalSpy>(&model, method));
        }
    }
    // Names of the signals that fired, sorted.
    QStringList fired() const
    {
        QStringList names;
        for (const auto& [name, spy] : m_spies) {
            if (!spy->isEmpty())
                names.append(name);
        }
        return names;
    }
    qsizetype count(const QString& name) const { return m_spies.at(name)->count(); }

private:
    std::map<QString, std::unique_ptr<QSignalSpy>> m_spies;
};

} // namespace

class PublicationTest : public ModelTest {};

TEST_F(PublicationTest, AssigningAnEqualValueIsSilent)
{
    model().setSearchText(QStringLiteral("x"));
    model().setDpi(300);
    model().setOutputFolder(dir());
    model().setIsDropTargeted(true);
    model().setErrorMessage(QStringLiteral("e"));

    AllSignals signalsSeen(model());
    model().setSearchText(QStringLiteral("x"));
    model().setDpi(300);
    model().setOutputFolder(dir());
    model().setIsDropTargeted(true);
    model().setErrorMessage(QStringLiteral("e"));
    model().removeAll(); // on an empty model everything is assigned its own value
    EXPECT_TRUE(signalsSeen.fired().isEmpty()) << signalsSeen.fired().join(u' ').toStdString();

    model().setSearchText(QStringLiteral("y"));
    model().setDpi(150);
    model().setOutputFolder(std::nullopt);
    model().setIsDropTargeted(false);
    model().setErrorMessage(std::nullopt);
    EXPECT_EQ(signalsSeen.fired(),
              (QStringList{QStringLiteral("dpiChanged"), QStringLiteral("errorMessageChanged"),
                           QStringLiteral("isDropTargetedChanged"), QStringLiteral("outputFolderChanged"),
                           QStringLiteral("searchTextChanged")}));
}

TEST_F(PublicationTest, SelectionAndPageActOnEveryAssignment)
{
    model().add({pdf(QStringLiteral("a.pdf"), 3)});
    model().setCurrentPage(2);

    AllSignals again(model());
    model().setSelection(model().selection()); // equal: not published, but back to page 1
    EXPECT_EQ(again.count(QStringLiteral("selectionChanged")), 0);
    EXPECT_EQ(again.count(QStringLiteral("currentPageChanged")), 1);
    EXPECT_EQ(model().currentPage(), 0);
    EXPECT_GE(again.count(QStringLiteral("previewImageChanged")), 1);

    AllSignals samePage(model());
    model().setCurrentPage(0); // equal: not published, but rendered afresh
    EXPECT_EQ(samePage.fired(), QStringList{QStringLiteral("previewImageChanged")});
}

TEST_F(PublicationTest, InPlaceEditsAlwaysPublish)
{
    model().add({pdf(QStringLiteral("a.pdf"))});
    model().addMark(Rect{0.1, 0.1, 0.2, 0.2});

    AllSignals edits(model());
    model().removeMark(RedactionRegion(0, Rect{0.7, 0.7, 0.1, 0.1})); // no such mark
    EXPECT_EQ(edits.count(QStringLiteral("marksChanged")), 1);
    EXPECT_EQ(edits.count(QStringLiteral("selectedMarksChanged")), 0); // the derived value did not change

    model().clearSelectedMarks();
    model().clearSelectedMarks();
    EXPECT_EQ(edits.count(QStringLiteral("marksChanged")), 3);
    EXPECT_EQ(edits.count(QStringLiteral("searchTermsChanged")), 2);
}

TEST_F(PublicationTest, DerivedValuesPublishTheirOwnChanges)
{
    model().add({pdf(QStringLiteral("a.pdf")), pdf(QStringLiteral("b.pdf"))});
    AllSignals derived(model());

    model().addMark(Rect{0.1, 0.1, 0.2, 0.2});
    model().addMark(Rect{0.3, 0.3, 0.2, 0.2});
    EXPECT_EQ(derived.count(QStringLiteral("readyInputsChanged")), 1);
    EXPECT_EQ(derived.count(QStringLiteral("canRedactChanged")), 1);
    EXPECT_EQ(derived.count(QStringLiteral("selectedMarksChanged")), 2);
    EXPECT_EQ(model().actionTitle(), QStringLiteral("Redact 1 PDF"));
    EXPECT_TRUE(model().canRedact());

    model().setSelection(model().inputs().at(1).id);
    EXPECT_EQ(derived.count(QStringLiteral("selectedChanged")), 1);
    EXPECT_EQ(model().selectedPageCount(), 1);
    EXPECT_EQ(derived.count(QStringLiteral("selectedMarksChanged")), 3);
    EXPECT_TRUE(model().selectedMarks().isEmpty());

    model().setSearchText(QStringLiteral("Page"));
    EXPECT_EQ(derived.count(QStringLiteral("canMarkAllChanged")), 1);
    EXPECT_TRUE(model().canMarkAll());
}
