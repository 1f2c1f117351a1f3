#include "core/engine.h"
#include "tests/support/pdf_builder.h"
#include "tests/support/test_env.h"

#include <QDir>

#include <functional>
#include <ostream>

using namespace inkveil;
using inkveil::test::rawPdf;
using inkveil::test::streamObject;

namespace {

std::string repeat(const std::string& s, int n)
{
    std::string out;
    while (n-- > 0)
        out += s;
    return out;
}

const std::string kCatalog = "<< /Type /Catalog /Pages 2 0 R >>";
const std::string kPages = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";

// One page (object 3) with content object 4 and resources as given; more objects
// follow from 5.
QByteArray onePage(const std::string& content, const std::string& resources = {},
                   const std::string& pageEntries = {}, const std::vector<std::string>& more = {})
{
    std::vector<std::string> bodies{kCatalog, kPages,
                                    "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << " + resources
                                        + " >> /Contents 4 0 R " + pageEntries + " >>",
                                    streamObject(content)};
    bodies.insert(bodies.end(), more.begin(), more.end());
    return rawPdf(bodies);
}

const std::string kFont = "/Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >>";

QByteArray deepArrayInPage() { return onePage("0 0 10 10 re f", {}, "/Deep " + repeat("[", 100000) + repeat("]", 100000)); }
QByteArray deepArrayInContent()
{
    return onePage("BT /F1 12 Tf 72 700 Td " + repeat("[", 100000) + "(x)" + repeat("]", 100000) + " TJ ET", kFont);
}
// Unbalanced on purpose: more restores than saves, then saves never restored.
QByteArray deepGraphicsState() { return onePage(repeat("Q ", 1000) + repeat("q ", 100000) + "0 0 10 10 re f"); }

// Forms drawing forms, `depth` deep, from object 5 on.
QByteArray formChain(int depth)
{
    std::vector<std::string> forms;
    for (int i = 0; i < depth; ++i) {
        const int next = 5 + i + 1;
        forms.push_back(i + 1 < depth ? streamObject("/X Do", "/Type /XObject /Subtype /Form /BBox [0 0 612 792] "
                                                              "/Resources << /XObject << /X "
                                                              + std::to_string(next) + " 0 R >> >>")
                                      : streamObject("0 0 10 10 re f", "/Type /XObject /Subtype /Form /BBox [0 0 612 792]"));
    }
    return onePage("/X Do", "/XObject << /X 5 0 R >>", {}, forms);
}

QByteArray formCycle()
{
    return onePage("/X Do", "/XObject << /X 5 0 R >>", {},
                   {streamObject("0 0 10 10 re f /X Do", "/Type /XObject /Subtype /Form /BBox [0 0 612 792] "
                                                         "/Resources << /XObject << /X 6 0 R >> >>"),
                    streamObject("/X Do", "/Type /XObject /Subtype /Form /BBox [0 0 612 792] "
                                          "/Resources << /XObject << /X 5 0 R >> >>")});
}

QByteArray deepPageTree(int depth)
{
    std::vector<std::string> bodies{"<< /Type /Catalog /Pages 2 0 R >>"};
    for (int i = 0; i < depth; ++i) {
        const int self = 2 + i;
        bodies.push_back("<< /Type /Pages /Kids [" + std::to_string(self + 1) + " 0 R] /Count 1"
                         + (i ? " /Parent " + std::to_string(self - 1) + " 0 R" : std::string()) + " >>");
    }
    bodies.push_back("<< /Type /Page /Parent " + std::to_string(depth + 1) + " 0 R /MediaBox [0 0 612 792] >>");
    return rawPdf(bodies);
}

QByteArray pageTreeCycle()
{
    return rawPdf({kCatalog, "<< /Type /Pages /Kids [2 0 R 3 0 R] /Count 2 >>",
                   "<< /Type /Pages /Kids [2 0 R] /Count 1 /Parent 2 0 R >>"});
}

QByteArray inheritanceCycle()
{
    return rawPdf({kCatalog, "<< /Type /Pages /Kids [3 0 R] /Count 1 /Parent 4 0 R >>",
                   "<< /Type /Page /Parent 2 0 R >>", "<< /Type /Pages /Kids [2 0 R] /Count 1 /Parent 2 0 R >>"});
}

QByteArray lengthOfItself()
{
    // The content stream's /Length is the stream itself.
    return rawPdf({kCatalog, kPages, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>",
                   "<< /Length 4 0 R >>\nstream\n0 0 10 10 re f\nendstream"});
}

// A page tree whose root claims far more pages than the file holds.
QByteArray countOfBillions()
{
    return rawPdf({kCatalog, "<< /Type /Pages /Kids [3 0 R] /Count 2000000000 >>",
                   "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>"});
}

// One page listed twice at each of 30 levels: 2^30 pages from 32 objects.
QByteArray sharedSubtrees()
{
    std::vector<std::string> bodies{"<< /Type /Catalog /Pages 2 0 R >>"};
    for (int level = 0; level < 30; ++level) {
        const std::string child = std::to_string(3 + level) + " 0 R";
        bodies.push_back("<< /Type /Pages /Kids [" + child + " " + child + "] /Count " + std::to_string(1LL << (30 - level))
                         + " >>");
    }
    bodies.push_back("<< /Type /Page /MediaBox [0 0 612 792] >>");
    return rawPdf(bodies);
}

// A few pages too many: found missing when they are reached.
QByteArray countSlightlyHigh()
{
    return rawPdf({kCatalog, "<< /Type /Pages /Kids [3 0 R] /Count 3 >>",
                   "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>"});
}

struct Case {
    const char* name;
    std::function<QByteArray()> make;
    // "" when the document is redacted, else the failure's text.
    QString outcome;
};

const QString kOk;
const QString kUnreadable = QStringLiteral("(not a readable PDF)");
const QString kDamaged = QStringLiteral("Page 1 of nested.pdf could not be drawn completely: its content is damaged.");
const QString kPageUnreadable = QStringLiteral("The redacted PDF could not be verified: a source page is unreadable");

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

} // namespace

class NestingTest : public inkveil::test::TempDirTest, public ::testing::WithParamInterface<Case> {};

// Each shape is a way a broken or hostile file could recurse without end.
// Whatever MuPDF makes of it, the run must end with an output or one of our
// errors, and leave no partial file.
TEST_P(NestingTest, EndsWithAnOutputOrAnError)
{
    const Case& c = GetParam();
    const QString source = inkveil::test::writeFile(path(QStringLiteral("nested.pdf")), c.make());
    const QByteArray before = inkveil::test::readAll(source);
    const QString out = path(QStringLiteral("out"));
    RedactionPlan plan;
    plan.regions = {RedactionRegion(0, Rect{0.1, 0.1, 0.2, 0.2})};
    plan.dpi = 96;
    QString failure;
    try {
        const RedactionResult result = InkveilEngine::redact(source, out, plan);
        EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList{QFileInfo(result.output).fileName()});
    } catch (const InkveilError& e) {
        failure = e.kind() == InkveilError::Kind::unreadable ? kUnreadable : e.description();
        EXPECT_FALSE(QFileInfo::exists(out));
    }
    EXPECT_EQ(failure, c.outcome);
    EXPECT_EQ(inkveil::test::readAll(source), before);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, NestingTest,
    ::testing::Values(Case{"deep_array_in_page", deepArrayInPage, kPageUnreadable},
                      Case{"deep_array_in_content", deepArrayInContent, kDamaged},
                      Case{"deep_graphics_state", deepGraphicsState, kOk},
                      Case{"form_chain", [] { return formChain(5000); }, kOk},
                      Case{"form_cycle", formCycle, kOk},
                      Case{"deep_page_tree", [] { return deepPageTree(20000); }, kPageUnreadable},
                      Case{"page_tree_cycle", pageTreeCycle, kPageUnreadable},
                      Case{"inheritance_cycle", inheritanceCycle, kPageUnreadable},
                      Case{"length_of_itself", lengthOfItself, kOk},
                      Case{"count_of_billions", countOfBillions, kUnreadable},
                      Case{"shared_subtrees", sharedSubtrees, kUnreadable},
                      Case{"count_slightly_high", countSlightlyHigh, kPageUnreadable}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });
