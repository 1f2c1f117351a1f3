#include "tests/app/model_fixture.h"

#include <QMetaMethod>

#include <map>

using namespace inkveil;
using namespace inkveil::test;

namespace {

// Counts every signal of the model, by name.
class AllSignals {
public:
    explicit AllSignals(AppModel& model)
    {
        const QMetaObject* meta = model.metaObject();
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            if (meta->method(i).methodType() == QMetaMethod::Signal)
                m_spies.emplace(QString::fromLatin1(meta->method(i).name()),
                                std::make_unique<QSignalSpy>(&model, meta->method(i)));
        }
    }
    // The names that fired, sorted.
    QStringList fired() const
    {
        QStringList names;
        for (const auto& [name, spy] : m_spies) {
            if (!spy->isEmpty())
                names.append(name);
        }
        return names;
    }
    qsizetype operator[](const char* name) const { return m_spies.at(QString::fromLatin1(name))->count(); }

private:
    std::map<QString, std::unique_ptr<QSignalSpy>> m_spies;
};

} // namespace

class PublicationTest : public ModelTest {};

TEST_F(PublicationTest, OnlyARealChangeIsPublished)
{
    const auto assignAll = [this](const QString& text, double dpi, const std::optional<QString>& message) {
        model().setSearchText(text);
        model().setDpi(dpi);
        model().setOutputFolder(message);
        model().setIsDropTargeted(dpi > 200);
        model().setErrorMessage(message);
    };
    assignAll(QStringLiteral("x"), 300, QStringLiteral("m"));

    AllSignals seen(model());
    assignAll(QStringLiteral("x"), 300, QStringLiteral("m"));
    model().removeAll(); // an empty model assigned its own values
    EXPECT_EQ(seen.fired(), QStringList());

    assignAll(QStringLiteral("y"), 150, std::nullopt);
    EXPECT_EQ(seen.fired(), (QStringList{QStringLiteral("dpiChanged"), QStringLiteral("errorMessageChanged"),
                                         QStringLiteral("isDropTargetedChanged"), QStringLiteral("outputFolderChanged"),
                                         QStringLiteral("searchTextChanged")}));
}

TEST_F(PublicationTest, InPlaceEditsAlwaysPublishDerivedValuesOnlyOnChange)
{
    model().add({pdf(QStringLiteral("a.pdf")), pdf(QStringLiteral("b.pdf"), 2)});
    AllSignals seen(model());

    model().addMark(Rect{0.1, 0.1, 0.2, 0.2});
    model().addMark(Rect{0.3, 0.3, 0.2, 0.2});
    model().removeMark(RedactionRegion(0, Rect{0.7, 0.7, 0.1, 0.1})); // no such mark
    EXPECT_EQ(seen["marksChanged"], 3);
    EXPECT_EQ(seen["selectedMarksChanged"], 2);
    EXPECT_EQ(seen["readyInputsChanged"], 1);
    EXPECT_EQ(seen["canRedactChanged"], 1);
    EXPECT_EQ(model().actionTitle(), QStringLiteral("Redact 1 PDF"));

    model().setSearchText(QStringLiteral("Page"));
    EXPECT_EQ(seen["canMarkAllChanged"], 1);

    // Selection and page act on every assignment, published or not.
    model().setSelection(model().inputs().at(1).id);
    model().nextPage();
    EXPECT_EQ(seen["selectedChanged"], 1);
    AllSignals again(model());
    model().setSelection(model().selection()); // back to the first page
    model().setCurrentPage(0);                 // rendered afresh
    EXPECT_EQ(again.fired(), (QStringList{QStringLiteral("currentPageChanged"), QStringLiteral("previewImageChanged")}));
    EXPECT_EQ(again["previewImageChanged"], 3);
}
