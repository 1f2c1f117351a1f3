// The command line, run as a separate process on PDFs made by each test.

#include "platform/bitmap.h"
#include "platform/pdf_document.h"
#include "tests/support/pdf_builder.h"
#include "tests/support/test_env.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <csignal>

#include <signal.h>

using namespace inkveil;
using inkveil::test::PageSpec;
using inkveil::test::PdfBuilder;
using inkveil::test::ProcessResult;

namespace {

const QString kCli = QStringLiteral(INKVEIL_CLI_PATH);
const QString kCancelled = QStringLiteral("Redaction was cancelled. No output was saved.");

QStringList linesOf(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QJsonObject jsonLine(const QString& line)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
    return doc.object();
}

QStringList keysOf(const QJsonObject& object)
{
    QStringList keys = object.keys();
    keys.sort();
    return keys;
}

// Everything in a folder, hidden entries included; empty when it is missing.
QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// Red channel at a normalized point (origin lower left) of a rendered page.
int shadeAt(const QString& pdf, int pageIndex, double nx, double ny)
{
    platform::Context ctx;
    auto doc = platform::Document::open(ctx, pdf);
    if (!doc)
        return -1;
    auto page = doc->page(pageIndex);
    if (!page)
        return -1;
    const Rect box = page->mediaBox();
    const double scale = 0.5;
    auto bitmap = platform::Bitmap::newRgb(ctx, static_cast<int>(box.width * scale), static_cast<int>(box.height * scale));
    const platform::Matrix toPixel{scale, 0, 0, -scale, -box.x * scale, (box.y + box.height) * scale};
    page->renderContents(ctx, bitmap, toPixel, nullptr);
    const int x = static_cast<int>(nx * bitmap.width());
    const int y = static_cast<int>((1.0 - ny) * bitmap.height());
    return bitmap.row(y)[3 * x];
}

class CliTest : public inkveil::test::TempDirTest {
protected:
    static ProcessResult cli(const QStringList& args) { return inkveil::test::runProgram(kCli, args); }

    QString textPdf(const QString& name, const std::string& text = "Jane Doe owes 1200 EUR", int pages = 1)
    {
        PdfBuilder builder;
        for (int i = 0; i < pages; ++i)
            builder.textPage(text + " page " + std::to_string(i + 1), 72, 720);
        return builder.write(path(name));
    }

    QString notPdf(const QString& name)
    {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("this is plain text, not a PDF\n");
        return file.fileName();
    }

    QString zeroPagePdf(const QString& name) { return PdfBuilder().write(path(name)); }
};

// ---- Usage ------------------------------------------------------------------

struct UsageCase {
    const char* name;
    std::vector<const char*> args; // "{pdf}" and "{out}" stand for files of the test
};

class CliUsageTest : public CliTest, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(CliUsageTest, BadCommandLineExitsTwoWithUsageAndWritesNothing)
{
    const QString pdf = textPdf(QStringLiteral("in.pdf"));
    const QString out = path(QStringLiteral("out"));
    QStringList args;
    for (const char* a : GetParam().args)
        args << QString::fromUtf8(a).replace(QLatin1String("{pdf}"), pdf).replace(QLatin1String("{out}"), out);

    const ProcessResult r = cli(args);
    EXPECT_EQ(r.exitCode, 2) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains("Usage:")) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out));
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliUsageTest,
    ::testing::Values(
        UsageCase{"NoCommand", {}},
        UsageCase{"UnknownCommand", {"shred", "{pdf}"}},
        UsageCase{"RedactWithoutOutput", {"redact", "-f", "Jane", "{pdf}"}},
        UsageCase{"RedactWithoutPaths", {"redact", "-o", "{out}", "-f", "Jane"}},
        UsageCase{"OutputGivenTwice", {"redact", "-o", "{out}", "-o", "{out}", "-f", "Jane", "{pdf}"}},
        UsageCase{"OptionMissingItsValue", {"redact", "{pdf}", "-o", "{out}", "-f"}},
        UsageCase{"UnknownOption", {"redact", "-o", "{out}", "--shred", "{pdf}"}},
        UsageCase{"FlagWithValue", {"redact", "-o", "{out}", "--json=yes", "-f", "Jane", "{pdf}"}},
        UsageCase{"AreaWithoutPages", {"redact", "-o", "{out}", "-a", "0.1,0.1,0.2,0.2", "{pdf}"}},
        UsageCase{"AreaOnPageZero", {"redact", "-o", "{out}", "-a", "0:0.1,0.1,0.2,0.2", "{pdf}"}},
        UsageCase{"AreaBackwardRange", {"redact", "-o", "{out}", "-a", "3-2:0.1,0.1,0.2,0.2", "{pdf}"}},
        UsageCase{"AreaSignedPage", {"redact", "-o", "{out}", "-a", "+1:0.1,0.1,0.2,0.2", "{pdf}"}},
        UsageCase{"AreaThreeNumbers", {"redact", "-o", "{out}", "-a", "1:0.1,0.1,0.2", "{pdf}"}},
        UsageCase{"AreaNotANumber", {"redact", "-o", "{out}", "-a", "1:0.1,0.1,0.2,nan", "{pdf}"}},
        UsageCase{"AreaWords", {"redact", "-o", "{out}", "-a", "first:0.1,0.1,0.2,0.2", "{pdf}"}},
        UsageCase{"ResolutionNotANumber", {"redact", "-o", "{out}", "-r", "high", "-f", "Jane", "{pdf}"}},
        UsageCase{"ResolutionZero", {"redact", "-o", "{out}", "-r", "0", "-f", "Jane", "{pdf}"}},
        UsageCase{"FindWithoutPhrase", {"find", "{pdf}"}},
        UsageCase{"VerifyWithoutFile", {"verify"}},
        UsageCase{"VerifyTwoFiles", {"verify", "{pdf}", "{pdf}"}},
        UsageCase{"VerifyPagesNotANumber", {"verify", "--pages", "two", "{pdf}"}},
        UsageCase{"VerifyPagesZero", {"verify", "--pages", "0", "{pdf}"}},
        UsageCase{"ListWithoutPaths", {"list", "--json"}}),
    [](const ::testing::TestParamInfo<UsageCase>& info) { return std::string(info.param.name); });

TEST_F(CliTest, HelpAndVersionGoToStandardOutput)
{
    for (const QStringList& args : {QStringList{QStringLiteral("--help")},
                                    QStringList{QStringLiteral("redact"), QStringLiteral("--help")}}) {
        const ProcessResult r = cli(args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_TRUE(r.out.contains("inkveil-cli redact -o DIR"));
        EXPECT_TRUE(r.err.isEmpty());
    }
    const ProcessResult r = cli({QStringLiteral("--version")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^inkveil-cli \\d+\\.\\d+\\.\\d+\\n$"))
                    .match(QString::fromUtf8(r.out))
                    .hasMatch())
        << r.out.toStdString();
}

// ---- redact -------------------------------------------------------------------

TEST_F(CliTest, RedactWritesEveryDocumentAndPrintsEachOutput)
{
    const QString in = path(QStringLiteral("in"));
    QDir().mkpath(in);
    textPdf(QStringLiteral("in/b.pdf"), "Jane Doe signs");
    textPdf(QStringLiteral("in/a.pdf"), "Jane Doe pays", 2);
    const QString out = path(QStringLiteral("out/deeper"));

    const ProcessResult r = cli({QStringLiteral("redact"), QStringLiteral("-o"), out, QStringLiteral("-f"),
                                 QStringLiteral("Jane Doe"), in});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    // No terminal attached: no progress line, nothing else on standard error.
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();

    const QStringList printed = linesOf(r.out);
    const QStringList expected{QDir(out).filePath(QStringLiteral("a \u2014 Redacted.pdf")),
                               QDir(out).filePath(QStringLiteral("b \u2014 Redacted.pdf"))};
    EXPECT_EQ(printed, expected);
    for (const QString& output : printed) {
        EXPECT_TRUE(QFileInfo(output).isFile()) << output.toStdString();
        EXPECT_EQ(cli({QStringLiteral("verify"), output}).exitCode, 0);
        if (inkveil::test::haveTool(QStringLiteral("pdftotext"))) {
            const ProcessResult text =
                inkveil::test::runProgram(QStringLiteral("pdftotext"), {output, QStringLiteral("-")});
            EXPECT_EQ(text.exitCode, 0);
            EXPECT_TRUE(QString::fromUtf8(text.out).trimmed().isEmpty()) << text.out.toStdString();
        }
    }
}

TEST_F(CliTest, ProgressShowsOnATerminal)
{
    if (!inkveil::test::haveTool(QStringLiteral("script")))
        GTEST_SKIP() << "script (util-linux) is not installed";
    const QString pdf = textPdf(QStringLiteral("a.pdf"), "Jane", 2);
    const auto quoted = [](QString s) {
        return QLatin1Char('\'') + s.replace(QLatin1String("'"), QLatin1String("'\\''")) + QLatin1Char('\'');
    };
    const QString command = QStringList{quoted(kCli), QStringLiteral("redact"), QStringLiteral("-o"),
                                        quoted(path(QStringLiteral("out"))), QStringLiteral("-f"),
                                        QStringLiteral("Jane"), quoted(pdf)}
                                .join(QLatin1Char(' '));

    // script gives the program a terminal; what it printed comes back on our stdout.
    const ProcessResult r = inkveil::test::runProgram(
        QStringLiteral("script"), {QStringLiteral("-qec"), command, QStringLiteral("/dev/null")});
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("[1/1] a.pdf: page 1 of 2")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("[1/1] a.pdf: page 2 of 2")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("a \xE2\x80\x94 Redacted.pdf"));
}

TEST_F(CliTest, RedactJsonGivesOneObjectPerDocument)
{
    const QString a = textPdf(QStringLiteral("a.pdf"), "Jane Doe", 3);
    const QString b = textPdf(QStringLiteral("b.pdf"), "Jane Doe and Jane Doe");
    const QString out = path(QStringLiteral("out"));

    const ProcessResult r = cli({QStringLiteral("redact"), QStringLiteral("--json"), QStringLiteral("-o"), out,
                                 QStringLiteral("-f"), QStringLiteral("Jane Doe"), QStringLiteral("-r"),
                                 QStringLiteral("150"), b, a});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList lines = linesOf(r.out);
    ASSERT_EQ(lines.size(), 2);

    struct Expected {
        QString source;
        int pages;
        int redactions;
    };
    const Expected expected[] = {{a, 3, 3}, {b, 1, 2}};
    for (int i = 0; i < 2; ++i) {
        const QJsonObject object = jsonLine(lines[i]);
        EXPECT_EQ(keysOf(object), (QStringList{QStringLiteral("output"), QStringLiteral("pages"),
                                               QStringLiteral("redactions"), QStringLiteral("source")}));
        EXPECT_EQ(object[QStringLiteral("source")].toString(), expected[i].source);
        EXPECT_EQ(object[QStringLiteral("pages")].toInt(), expected[i].pages);
        EXPECT_EQ(object[QStringLiteral("redactions")].toInt(), expected[i].redactions);
        EXPECT_TRUE(QFileInfo(object[QStringLiteral("output")].toString()).isFile());
    }
}

TEST_F(CliTest, FailureOnALaterDocumentTakesBackTheRun)
{
    const QString in = path(QStringLiteral("in"));
    QDir().mkpath(in);
    textPdf(QStringLiteral("in/a.pdf"));
    notPdf(QStringLiteral("in/x.pdf"));

    // A folder the run creates disappears with it.
    const QString fresh = path(QStringLiteral("fresh/out"));
    const QString area = QStringLiteral("1:0.1,0.1,0.2,0.2");
    ProcessResult r = cli({QStringLiteral("redact"), QStringLiteral("-o"), fresh, QStringLiteral("-a"), area, in});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(QString::fromUtf8(r.err).trimmed(), QStringLiteral("Could not read x.pdf."));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("fresh"))));

    // In a folder that holds other files, only what this run wrote goes.
    const QString out = path(QStringLiteral("out"));
    QDir().mkpath(out);
    textPdf(QStringLiteral("out/a \u2014 Redacted.pdf"), "an earlier output");
    const QByteArray earlier = inkveil::test::readAll(QDir(out).filePath(QStringLiteral("a \u2014 Redacted.pdf")));
    QFile note(QDir(out).filePath(QStringLiteral("notes.txt")));
    ASSERT_TRUE(note.open(QIODevice::WriteOnly));
    note.close();

    r = cli({QStringLiteral("redact"), QStringLiteral("-o"), out, QStringLiteral("-a"), area, in});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(QString::fromUtf8(r.err).trimmed(), QStringLiteral("Could not read x.pdf."));
    EXPECT_EQ(entriesOf(out), (QStringList{QStringLiteral("a \u2014 Redacted.pdf"), QStringLiteral("notes.txt")}));
    EXPECT_EQ(inkveil::test::readAll(QDir(out).filePath(QStringLiteral("a \u2014 Redacted.pdf"))), earlier);
}

TEST_F(CliTest, RedactReportsEngineRefusalsWithItsMessages)
{
    const QString pdf = textPdf(QStringLiteral("three.pdf"), "Jane", 3);
    const QString out = path(QStringLiteral("out"));
    const QString outside = QStringLiteral("One of the marked areas falls outside its PDF page.");
    struct Case {
        QStringList plan;
        QString message;
    };
    const Case cases[] = {
        {{}, QStringLiteral("Mark an area or add a search phrase before redacting.")},
        {{QStringLiteral("-f"), QStringLiteral("nowhere in the text")},
         QStringLiteral("Mark an area or add a search phrase before redacting.")},
        {{QStringLiteral("-a"), QStringLiteral("4:0.1,0.1,0.2,0.2")}, outside},
        {{QStringLiteral("-a"), QStringLiteral("2-4:0.1,0.1,0.2,0.2")}, outside},
        // Far past the end: refused at once rather than expanded page by page.
        {{QStringLiteral("-a"), QStringLiteral("1-900000000000:0.1,0.1,0.2,0.2")}, outside},
        {{QStringLiteral("-a"), QStringLiteral("1:1.5,1.5,0.2,0.2")}, outside},
    };
    for (const Case& c : cases) {
        const ProcessResult r =
            cli(QStringList{QStringLiteral("redact"), QStringLiteral("-o"), out} + c.plan + QStringList{pdf});
        EXPECT_EQ(r.exitCode, 1) << c.plan.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(QString::fromUtf8(r.err).trimmed(), c.message);
        EXPECT_TRUE(entriesOf(out).isEmpty());
    }

    const ProcessResult none = cli({QStringLiteral("redact"), QStringLiteral("-o"), out, QStringLiteral("-f"),
                                    QStringLiteral("Jane"), path(QStringLiteral("notes.txt"))});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(QString::fromUtf8(none.err).trimmed(), QStringLiteral("No readable PDF documents were found."));
}

TEST_F(CliTest, AreasApplyToTheirPagesOnly)
{
    const QString pdf = textPdf(QStringLiteral("four.pdf"), "text", 4);
    const QString area = QStringLiteral("0.25,0.25,0.5,0.5");
    struct Case {
        QString pages;
        std::vector<bool> blackPages;
    };
    const Case cases[] = {
        {QStringLiteral("3"), {false, false, true, false}},
        {QStringLiteral("2-3"), {false, true, true, false}},
        {QStringLiteral("all"), {true, true, true, true}},
    };
    for (const Case& c : cases) {
        const QString out = path(QStringLiteral("out-") + c.pages);
        const ProcessResult r = cli({QStringLiteral("redact"), QStringLiteral("--json"), QStringLiteral("-r"),
                                     QStringLiteral("96"), QStringLiteral("-o"), out, QStringLiteral("-a"),
                                     c.pages + QLatin1Char(':') + area, pdf});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        const QJsonObject result = jsonLine(linesOf(r.out).value(0));
        const auto marked = std::count(c.blackPages.begin(), c.blackPages.end(), true);
        EXPECT_EQ(result[QStringLiteral("redactions")].toInt(), marked);

        const QString output = result[QStringLiteral("output")].toString();
        for (int page = 0; page < 4; ++page) {
            // The area's centre, and a corner outside it that is always blank.
            EXPECT_EQ(shadeAt(output, page, 0.5, 0.5), c.blackPages[page] ? 0 : 255)
                << c.pages.toStdString() << " page " << page + 1;
            EXPECT_EQ(shadeAt(output, page, 0.1, 0.1), 255);
        }
    }
}

// ---- Interruption ---------------------------------------------------------------

struct InterruptCase {
    const char* name;
    int signal;
    int exitCode;
};

class CliInterruptTest : public CliTest, public ::testing::WithParamInterface<InterruptCase> {};

// The signal comes once the first document is written and the second, long one
// is under way: both the finished output and the one in progress must go.
TEST_P(CliInterruptTest, SignalCancelsAndLeavesNothingBehind)
{
    const QString in = path(QStringLiteral("in"));
    QDir().mkpath(in);
    textPdf(QStringLiteral("in/a.pdf"), "Jane");
    textPdf(QStringLiteral("in/b.pdf"), "Jane", 120);
    const QString out = path(QStringLiteral("out"));
    const QString firstOutput = QDir(out).filePath(QStringLiteral("a \u2014 Redacted.pdf"));

    QProcess process;
    process.start(kCli, {QStringLiteral("redact"), QStringLiteral("-r"), QStringLiteral("300"), QStringLiteral("-o"),
                         out, QStringLiteral("-a"), QStringLiteral("all:0.1,0.1,0.3,0.3"), in});
    ASSERT_TRUE(process.waitForStarted());

    // Waiting also notices when the program ends early, which fails the test.
    bool started = false;
    for (int i = 0; i < 6000 && !started; ++i)
        started = QFileInfo::exists(firstOutput) || process.waitForFinished(10);
    started = started && QFileInfo::exists(firstOutput) && process.state() == QProcess::Running;
    ASSERT_TRUE(started) << process.readAllStandardError().toStdString();
    ASSERT_EQ(::kill(static_cast<pid_t>(process.processId()), GetParam().signal), 0);

    ASSERT_TRUE(process.waitForFinished(120000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), GetParam().exitCode);
    EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
    EXPECT_EQ(QString::fromUtf8(process.readAllStandardError()).trimmed(), kCancelled);
    EXPECT_TRUE(entriesOf(out).isEmpty()) << entriesOf(out).join(QLatin1Char(',')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Cli, CliInterruptTest,
                         ::testing::Values(InterruptCase{"Interrupt", SIGINT, 130},
                                           InterruptCase{"Terminate", SIGTERM, 143}),
                         [](const ::testing::TestParamInfo<InterruptCase>& info) {
                             return std::string(info.param.name);
                         });

// ---- find -------------------------------------------------------------------------

TEST_F(CliTest, FindPrintsPageAndRectangleOfEachOccurrence)
{
    PdfBuilder builder;
    builder.textPage("Nothing here", 72, 720);
    builder.textPage("Account 4711 closed", 100, 400, 20);
    const QString pdf = builder.write(path(QStringLiteral("doc.pdf")));

    ProcessResult r = cli({QStringLiteral("find"), pdf, QStringLiteral("account 4711")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList lines = linesOf(r.out);
    ASSERT_EQ(lines.size(), 1) << r.out.toStdString();
    const QStringList fields = lines[0].split(QLatin1Char(' '));
    ASSERT_EQ(fields.size(), 5);
    EXPECT_EQ(fields[0], QStringLiteral("2"));
    const double x = fields[1].toDouble(), y = fields[2].toDouble();
    const double w = fields[3].toDouble(), h = fields[4].toDouble();
    // Text starts at (100, 400) on a 612 x 792 page, 20 pt high.
    EXPECT_NEAR(x, 98.0 / 612, 0.01);
    EXPECT_LT(y, 400.0 / 792);
    EXPECT_GT(y, 385.0 / 792);
    EXPECT_GT(y + h, 414.0 / 792);
    EXPECT_LT(y + h, 425.0 / 792);
    EXPECT_GT(w, 80.0 / 612);
    EXPECT_LT(x + w, 300.0 / 612);

    r = cli({QStringLiteral("find"), QStringLiteral("--json"), pdf, QStringLiteral("4711"),
             QStringLiteral("nothing")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList json = linesOf(r.out);
    ASSERT_EQ(json.size(), 2);
    const QJsonObject first = jsonLine(json[0]);
    EXPECT_EQ(keysOf(first),
              (QStringList{QStringLiteral("normalizedRect"), QStringLiteral("page"), QStringLiteral("pageIndex")}));
    EXPECT_EQ(first[QStringLiteral("page")].toInt(), 1);
    EXPECT_EQ(first[QStringLiteral("pageIndex")].toInt(), 0);
    const QJsonObject second = jsonLine(json[1]);
    EXPECT_EQ(second[QStringLiteral("page")].toInt(), 2);
    const QJsonArray rect = second[QStringLiteral("normalizedRect")].toArray();
    ASSERT_EQ(rect.size(), 2);
    EXPECT_GT(rect[0].toArray()[0].toDouble(), x);

    r = cli({QStringLiteral("find"), pdf, QStringLiteral("absent words")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.isEmpty());
}

TEST_F(CliTest, FindRefusesFilesItCannotRead)
{
    struct Case {
        QString file;
        QString message;
    };
    const Case cases[] = {
        {notPdf(QStringLiteral("x.pdf")), QStringLiteral("Could not read x.pdf.")},
        {path(QStringLiteral("missing.pdf")), QStringLiteral("Could not read missing.pdf.")},
        {zeroPagePdf(QStringLiteral("zero.pdf")), QStringLiteral("zero.pdf contains no pages.")},
    };
    for (const Case& c : cases) {
        const ProcessResult r = cli({QStringLiteral("find"), c.file, QStringLiteral("Jane")});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_EQ(QString::fromUtf8(r.err).trimmed(), c.message);
    }
}

// ---- verify ---------------------------------------------------------------------

TEST_F(CliTest, VerifyGivesItsVerdict)
{
    const QString source = textPdf(QStringLiteral("src.pdf"), "Jane Doe", 2);
    const ProcessResult made = cli({QStringLiteral("redact"), QStringLiteral("-o"), path(QStringLiteral("out")),
                                    QStringLiteral("-f"), QStringLiteral("Jane"), source});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    const QString output = linesOf(made.out).value(0);
    const QString text = textPdf(QStringLiteral("text.pdf"), "Jane Doe");
    const QString failed = QStringLiteral("The redacted PDF could not be verified: ");

    struct Case {
        QStringList args;
        int exitCode;
        QString out;
        QString err;
    };
    const Case cases[] = {
        {{output}, 0, QStringLiteral("verified: 2 pages"), {}},
        {{QStringLiteral("--pages"), QStringLiteral("2"), QStringLiteral("-f"), QStringLiteral("Jane"), output},
         0, QStringLiteral("verified: 2 pages"), {}},
        {{QStringLiteral("--pages"), QStringLiteral("3"), output}, 1, {}, failed + QStringLiteral("page count changed")},
        {{text}, 1, {}, failed + QStringLiteral("hidden text, annotations or personal metadata remain")},
        {{QStringLiteral("-f"), QStringLiteral("jane"), text}, 1, {},
         failed + QStringLiteral("redacted text remains selectable")},
        {{notPdf(QStringLiteral("x.pdf"))}, 1, {}, failed + QStringLiteral("page count changed")},
        // A file without pages is no output, whatever else it lacks.
        {{zeroPagePdf(QStringLiteral("zero.pdf"))}, 1, {}, failed + QStringLiteral("page count changed")},
    };
    for (const Case& c : cases) {
        const ProcessResult r = cli(QStringList{QStringLiteral("verify")} + c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(QString::fromUtf8(r.out).trimmed(), c.out);
        EXPECT_EQ(QString::fromUtf8(r.err).trimmed(), c.err);
    }
}

// ---- list -----------------------------------------------------------------------

TEST_F(CliTest, ListShowsWhatARunWouldProcess)
{
    const QString in = path(QStringLiteral("in"));
    QDir().mkpath(in);
    const QString good = textPdf(QStringLiteral("in/a good.pdf"), "text", 2);
    const QString broken = notPdf(QStringLiteral("in/b broken.pdf"));
    const QString zero = zeroPagePdf(QStringLiteral("in/c zero.pdf"));
    notPdf(QStringLiteral("in/notes.txt"));

    ProcessResult r = cli({QStringLiteral("list"), in});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(linesOf(r.out), (QStringList{good + QStringLiteral(": 2 pages"),
                                           broken + QStringLiteral(": not a readable PDF"),
                                           zero + QStringLiteral(": contains no pages")}));

    r = cli({QStringLiteral("list"), QStringLiteral("--json"), in});
    EXPECT_EQ(r.exitCode, 1);
    const QStringList lines = linesOf(r.out);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(jsonLine(lines[0]), (QJsonObject{{QStringLiteral("path"), good},
                                               {QStringLiteral("readable"), true},
                                               {QStringLiteral("pages"), 2}}));
    EXPECT_EQ(jsonLine(lines[1]), (QJsonObject{{QStringLiteral("path"), broken},
                                               {QStringLiteral("readable"), false},
                                               {QStringLiteral("reason"), QStringLiteral("not a readable PDF")}}));
    EXPECT_EQ(jsonLine(lines[2])[QStringLiteral("reason")].toString(), QStringLiteral("contains no pages"));

    r = cli({QStringLiteral("list"), good});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(linesOf(r.out), QStringList{good + QStringLiteral(": 2 pages")});

    r = cli({QStringLiteral("list"), path(QStringLiteral("in/notes.txt"))});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(QString::fromUtf8(r.err).trimmed(), QStringLiteral("No readable PDF documents were found."));
}

} // namespace
