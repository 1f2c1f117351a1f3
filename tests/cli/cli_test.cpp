// The command line, run as a separate process on PDFs made by each test.

#include "platform/bitmap.h"
#include "platform/pdf_document.h"
#include "tests/support/pdf_builder.h"
#include "tests/support/test_env.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <csignal>

#include <signal.h>

using namespace inkveil;
using inkveil::test::entriesOf;
using inkveil::test::PdfBuilder;
using inkveil::test::ProcessResult;

namespace {

const QString kCli = QStringLiteral(INKVEIL_CLI_PATH);
const QString kRedacted = QStringLiteral("a \u2014 Redacted.pdf");

// Arguments are the words of `line`, with {0}, {1}, … replaced by `values`.
QStringList argsOf(const char* line, const QStringList& values)
{
    QStringList args = QString::fromUtf8(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (QString& arg : args) {
        for (qsizetype i = 0; i < values.size(); ++i)
            arg.replace(QStringLiteral("{%1}").arg(i), values[i]);
    }
    return args;
}

ProcessResult cli(const char* line, const QStringList& values = {})
{
    return inkveil::test::runProgram(kCli, argsOf(line, values));
}

QStringList linesOf(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString trimmed(const QByteArray& bytes) { return QString::fromUtf8(bytes).trimmed(); }

QJsonObject jsonLine(const QString& line)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
    return doc.object();
}

// Red channel at the centre of a rendered page.
int shadeAtCentre(const QString& pdf, int pageIndex)
{
    platform::Context ctx;
    auto doc = platform::Document::open(ctx, pdf);
    auto page = doc ? doc->page(pageIndex) : std::nullopt;
    if (!page)
        return -1;
    const Rect box = page->mediaBox();
    auto bitmap = platform::Bitmap::newRgb(ctx, static_cast<int>(box.width / 2), static_cast<int>(box.height / 2));
    page->renderContents(ctx, bitmap, platform::Matrix{0.5, 0, 0, -0.5, -box.x / 2, (box.y + box.height) / 2}, nullptr);
    return bitmap.row(bitmap.height() / 2)[3 * (bitmap.width() / 2)];
}

class CliTest : public inkveil::test::TempDirTest {
protected:
    QString textPdf(const QString& name, const std::string& text = "Jane Doe owes 1200 EUR", int pages = 1)
    {
        PdfBuilder builder;
        for (int i = 0; i < pages; ++i)
            builder.textPage(text + " page " + std::to_string(i + 1), 72, 720);
        return builder.write(path(name));
    }

    QString notPdf(const QString& name) { return inkveil::test::writeFile(path(name), "this is plain text, not a PDF\n"); }

    QString inFolder(const std::vector<std::pair<const char*, int>>& pdfs)
    {
        QDir().mkpath(path(QStringLiteral("in")));
        for (const auto& [name, pages] : pdfs) {
            QDir().mkpath(QFileInfo(path(QStringLiteral("in/") + QString::fromUtf8(name))).path());
            textPdf(QStringLiteral("in/") + QString::fromUtf8(name), "Jane Doe", pages);
        }
        return path(QStringLiteral("in"));
    }
};

// ---- Usage ------------------------------------------------------------------

class CliUsageTest : public CliTest, public ::testing::WithParamInterface<const char*> {};

// {0} is a readable PDF, {1} an output folder.
TEST_P(CliUsageTest, BadCommandLineExitsTwoWithUsageAndWritesNothing)
{
    const QString out = path(QStringLiteral("out"));
    const ProcessResult r = cli(GetParam(), {textPdf(QStringLiteral("in.pdf")), out});
    EXPECT_EQ(r.exitCode, 2) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains("Usage:")) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out));
}

INSTANTIATE_TEST_SUITE_P(Cli, CliUsageTest,
                         ::testing::Values("", "shred {0}", "redact -f Jane {0}", "redact -o {1} -f Jane",
                                           "redact -o {1} -o {1} -f Jane {0}", "redact {0} -o {1} -f",
                                           "redact -o {1} --shred {0}", "redact -o {1} --json=yes -f Jane {0}",
                                           "redact -o {1} -a 0.1,0.1,0.2,0.2 {0}", "redact -o {1} -a 0:0.1,0.1,0.2,0.2 {0}",
                                           "redact -o {1} -a 3-2:0.1,0.1,0.2,0.2 {0}", "redact -o {1} -a 1:0.1,0.1,0.2 {0}",
                                           "redact -o {1} -a 1:0.1,0.1,0.2,nan {0}", "redact -o {1} -r 0 -f Jane {0}", "redact -o {1} -j 0 -f Jane {0}",
                                           "find {0}", "find --ocr sometimes {0} Jane", "redact -o {1} --ocr-lang= -f Jane {0}",
                                           "verify {0} {0}", "verify --pages two {0}", "list --json"));

TEST_F(CliTest, HelpGoesToStandardOutput)
{
    for (const char* line : {"--help", "redact --help"}) {
        const ProcessResult r = cli(line);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_TRUE(r.out.contains("inkveil-cli redact -o DIR"));
        EXPECT_TRUE(r.err.isEmpty());
    }
}

// ---- redact -------------------------------------------------------------------

// Outputs come in input order whatever the number of jobs, and copies that
// share a name are numbered in that order too.
TEST_F(CliTest, RedactWritesEveryDocumentAndPrintsEachOutput)
{
    const QString in = inFolder({{"b.pdf", 1}, {"a.pdf", 2}, {"c.pdf", 3}, {"d.pdf", 1}, {"sub/a.pdf", 1}});
    QStringList first;
    for (const char* jobs : {"1", "3"}) {
        SCOPED_TRACE(jobs);
        const QString out = path(QStringLiteral("out/deeper/") + QLatin1String(jobs));
        const ProcessResult r = cli("redact -j {2} --ocr off -o {0} -f Jane {1}", {out, in, QLatin1String(jobs)});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        // No terminal attached: no progress line, nothing else on standard error.
        EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
        QStringList printed = linesOf(r.out);
        ASSERT_EQ(printed.size(), 5);
        for (const QString& output : printed)
            EXPECT_TRUE(QFileInfo(output).isFile()) << output.toStdString();
        for (QString& output : printed)
            output = QFileInfo(output).fileName();
        EXPECT_EQ(printed.filter(QStringLiteral("a \u2014")),
                  (QStringList{kRedacted, QStringLiteral("a \u2014 Redacted 2.pdf")}));
        if (first.isEmpty())
            first = printed;
        EXPECT_EQ(printed, first);
    }
}

// With --keep-going every document stands alone: copies stay, each failure is
// reported with its source, and a summary ends the run.
TEST_F(CliTest, KeepGoingReportsEachFailureAndKeepsTheRest)
{
    const QString in = inFolder({{"a.pdf", 1}, {"c.pdf", 2}});
    notPdf(QStringLiteral("in/b.pdf"));
    test::PageSpec damaged;
    damaged.extraContent = "q 10 0 0 10 0 0 cm /Missing Do Q";
    PdfBuilder().page(damaged).write(path(QStringLiteral("in/d.pdf")));
    const QString out = path(QStringLiteral("out"));

    const ProcessResult r = cli("redact --keep-going --json -j 2 -o {0} -a 1:0.1,0.1,0.2,0.2 {1}", {out, in});
    EXPECT_EQ(r.exitCode, 1);
    const QStringList lines = linesOf(r.out);
    ASSERT_EQ(lines.size(), 4) << r.out.toStdString();
    QStringList sources;
    for (const QString& line : lines)
        sources.append(QFileInfo(jsonLine(line)[QStringLiteral("source")].toString()).fileName());
    EXPECT_EQ(sources, (QStringList{QStringLiteral("a.pdf"), QStringLiteral("b.pdf"), QStringLiteral("c.pdf"),
                                    QStringLiteral("d.pdf")}));
    EXPECT_EQ(jsonLine(lines[1])[QStringLiteral("error")].toString(), QStringLiteral("Could not read b.pdf."));
    EXPECT_EQ(jsonLine(lines[3])[QStringLiteral("error")].toString(),
              QStringLiteral("Page 1 of d.pdf could not be drawn completely: its content is damaged."));
    EXPECT_EQ(entriesOf(out), (QStringList{kRedacted, QStringLiteral("c \u2014 Redacted.pdf")}));
    const QStringList errors = linesOf(r.err);
    ASSERT_EQ(errors.size(), 3) << r.err.toStdString();
    EXPECT_EQ(errors[0], QDir(in).filePath(QStringLiteral("b.pdf")) + QStringLiteral(": Could not read b.pdf."));
    EXPECT_EQ(errors[2], QStringLiteral("Redacted 2 of 4 documents; 2 failed."));

    // Allowed, the damaged page is flattened as drawn.
    const ProcessResult allowed = cli("redact --allow-damaged -o {0} -a 1:0.1,0.1,0.2,0.2 {1}",
                                      {out, path(QStringLiteral("in/d.pdf"))});
    EXPECT_EQ(allowed.exitCode, 0) << allowed.err.toStdString();
}

// Pages count from 1 on the command line; JSON gives one object per document.
TEST_F(CliTest, AreasApplyToTheirPagesOnly)
{
    const QString pdf = textPdf(QStringLiteral("four.pdf"), "text", 4);
    const std::pair<QString, std::vector<int>> cases[] = {{QStringLiteral("2-3"), {255, 0, 0, 255}},
                                                          {QStringLiteral("all"), {0, 0, 0, 0}}};
    for (const auto& [pages, shades] : cases) {
        const ProcessResult r = cli("redact --json -r 96 -o {0} -a {1}:0.25,0.25,0.5,0.5 {2}", {path(pages), pages, pdf});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        ASSERT_EQ(linesOf(r.out).size(), 1);
        const QJsonObject result = jsonLine(linesOf(r.out)[0]);
        EXPECT_EQ(result.keys(), (QStringList{QStringLiteral("output"), QStringLiteral("pages"), QStringLiteral("phrases"),
                                              QStringLiteral("redactions"), QStringLiteral("source")}));
        EXPECT_EQ(result[QStringLiteral("source")].toString(), pdf);
        EXPECT_EQ(result[QStringLiteral("pages")].toInt(), 4);
        EXPECT_EQ(result[QStringLiteral("redactions")].toInt(), std::count(shades.begin(), shades.end(), 0));
        for (int page = 0; page < 4; ++page)
            EXPECT_EQ(shadeAtCentre(result[QStringLiteral("output")].toString(), page), shades[page]) << pages.toStdString() << " " << page;
    }
}

TEST_F(CliTest, FailureOnALaterDocumentTakesBackTheRun)
{
    const QString in = inFolder({{"a.pdf", 1}});
    notPdf(QStringLiteral("in/x.pdf"));

    // A folder the run creates disappears with it.
    ProcessResult r = cli("redact -o {0} -a 1:0.1,0.1,0.2,0.2 {1}", {path(QStringLiteral("fresh/out")), in});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(trimmed(r.err), QStringLiteral("Could not read x.pdf."));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("fresh"))));

    // In a folder that holds other files, only what this run wrote goes.
    const QString out = path(QStringLiteral("out"));
    QDir().mkpath(out);
    const QByteArray earlier = inkveil::test::readAll(textPdf(QStringLiteral("out/") + kRedacted, "an earlier output"));
    notPdf(QStringLiteral("out/notes.txt"));
    r = cli("redact -o {0} -a 1:0.1,0.1,0.2,0.2 {1}", {out, in});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(trimmed(r.err), QStringLiteral("Could not read x.pdf."));
    EXPECT_EQ(entriesOf(out), (QStringList{kRedacted, QStringLiteral("notes.txt")}));
    EXPECT_EQ(inkveil::test::readAll(QDir(out).filePath(kRedacted)), earlier);
}

TEST_F(CliTest, RedactRefusalsExitOneWithTheirMessage)
{
    const QString out = path(QStringLiteral("out"));
    const std::tuple<const char*, QString, QString> cases[] = {
        // Far past the end: refused at once rather than expanded page by page.
        {"redact -o {0} -a 1-900000000000:0.1,0.1,0.2,0.2 {1}", textPdf(QStringLiteral("three.pdf"), "Jane", 3),
         QStringLiteral("page 900000000000 does not exist: three.pdf has 3 pages")},
        {"redact -o {0} -f Jane {1}", notPdf(QStringLiteral("notes.txt")), QStringLiteral("No readable PDF documents were found.")},
    };
    for (const auto& [line, file, message] : cases) {
        const ProcessResult r = cli(line, {out, file});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(trimmed(r.err), message);
        EXPECT_TRUE(entriesOf(out).isEmpty());
    }
}

// ---- Interruption ---------------------------------------------------------------

class CliInterruptTest : public CliTest, public ::testing::WithParamInterface<std::pair<int, int>> {};

// The signal comes once the first document is written and the second, long one
// is under way: both the finished output and the one in progress must go.
TEST_P(CliInterruptTest, SignalCancelsAndLeavesNothingBehind)
{
    const QString out = path(QStringLiteral("out"));
    QProcess process;
    process.start(kCli, argsOf("redact -r 300 -o {0} -a all:0.1,0.1,0.3,0.3 {1}", {out, inFolder({{"a.pdf", 1}, {"b.pdf", 120}})}));
    ASSERT_TRUE(process.waitForStarted());

    // Waiting also notices when the program ends early, which fails the test.
    const QString firstOutput = QDir(out).filePath(kRedacted);
    bool started = false;
    for (int i = 0; i < 6000 && !started; ++i)
        started = QFileInfo::exists(firstOutput) || process.waitForFinished(10);
    started = started && QFileInfo::exists(firstOutput) && process.state() == QProcess::Running;
    ASSERT_TRUE(started) << process.readAllStandardError().toStdString();
    ASSERT_EQ(::kill(static_cast<pid_t>(process.processId()), GetParam().first), 0);

    ASSERT_TRUE(process.waitForFinished(120000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), GetParam().second);
    EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
    EXPECT_EQ(trimmed(process.readAllStandardError()), QStringLiteral("Redaction was cancelled. No output was saved."));
    EXPECT_TRUE(entriesOf(out).isEmpty()) << entriesOf(out).join(QLatin1Char(',')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Cli, CliInterruptTest, ::testing::Values(std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}),
                         [](const auto& info) { return std::string(info.param.first == SIGINT ? "Interrupt" : "Terminate"); });

// ---- find -------------------------------------------------------------------------

TEST_F(CliTest, FindPrintsPageAndRectangleOfEachOccurrence)
{
    const QString pdf = PdfBuilder().textPage("Nothing here", 72, 720).textPage("Account 4711 closed", 100, 400, 20)
                            .write(path(QStringLiteral("doc.pdf")));
    ProcessResult r = cli("find {0} {1}", {pdf, QStringLiteral("account 4711")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    ASSERT_EQ(linesOf(r.out).size(), 1) << r.out.toStdString();
    const QStringList fields = linesOf(r.out)[0].split(QLatin1Char(' '));
    ASSERT_EQ(fields.size(), 5);
    EXPECT_EQ(fields[0], QStringLiteral("2"));
    // Text starts at (100, 400) on a 612 x 792 page, 20 pt high: normalized, y up.
    const double y = fields[2].toDouble(), h = fields[4].toDouble();
    EXPECT_NEAR(fields[1].toDouble(), 98.0 / 612, 0.01);
    EXPECT_GT(y, 385.0 / 792);
    EXPECT_LT(y, 400.0 / 792);
    EXPECT_GT(y + h, 414.0 / 792);
    EXPECT_LT(y + h, 425.0 / 792);
    EXPECT_GT(fields[3].toDouble(), 80.0 / 612);

    // Each region with the text it covers, then each phrase's count; a
    // phrase found nowhere is a warning.
    r = cli("find --json {0} 4711 absent", {pdf});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    ASSERT_EQ(linesOf(r.out).size(), 3);
    const QJsonObject first = jsonLine(linesOf(r.out)[0]);
    EXPECT_EQ(first.keys(), (QStringList{QStringLiteral("kind"), QStringLiteral("normalizedRect"), QStringLiteral("page"),
                                         QStringLiteral("pageIndex"), QStringLiteral("source"), QStringLiteral("text")}));
    EXPECT_EQ(first[QStringLiteral("source")].toString(), QStringLiteral("text"));
    EXPECT_EQ(first[QStringLiteral("page")].toInt(), 2);
    EXPECT_EQ(first[QStringLiteral("pageIndex")].toInt(), 1);
    EXPECT_EQ(first[QStringLiteral("text")].toString(), QStringLiteral("4711"));
    const QJsonObject counts = jsonLine(linesOf(r.out)[1]);
    EXPECT_EQ(counts[QStringLiteral("phrase")].toString(), QStringLiteral("4711"));
    EXPECT_EQ(counts[QStringLiteral("occurrences")].toInt(), 1);
    EXPECT_EQ(jsonLine(linesOf(r.out)[2])[QStringLiteral("occurrences")].toInt(), 0);
    EXPECT_EQ(QString::fromUtf8(r.err).trimmed(), QStringLiteral("warning: \"absent\" was not found in %1").arg(pdf));

    r = cli("find {0} absent", {pdf});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.isEmpty());
}

TEST_F(CliTest, FindRefusesFilesItCannotRead)
{
    const std::pair<QString, QString> cases[] = {
        {notPdf(QStringLiteral("x.pdf")), QStringLiteral("Could not read x.pdf.")},
        {PdfBuilder().write(path(QStringLiteral("zero.pdf"))), QStringLiteral("zero.pdf contains no pages.")},
    };
    for (const auto& [file, message] : cases) {
        const ProcessResult r = cli("find {0} Jane", {file});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_EQ(trimmed(r.err), message);
    }
    const ProcessResult r = cli("find --ocr-lang eng+xyz {0} Jane", {textPdf(QStringLiteral("in.pdf"))});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("Install the Debian package tesseract-ocr-xyz.")) << r.err.toStdString();
}

// ---- verify ---------------------------------------------------------------------

TEST_F(CliTest, VerifyGivesItsVerdict)
{
    const ProcessResult made = cli("redact -o {0} -f Jane {1}", {path(QStringLiteral("out")), textPdf(QStringLiteral("src.pdf"), "Jane Doe", 2)});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    const QString failed = QStringLiteral("The redacted PDF could not be verified: ");
    const std::tuple<const char*, QString, int, QString, QString> cases[] = {
        {"verify {0}", linesOf(made.out).value(0), 0, QStringLiteral("verified: 2 pages"), {}},
        {"verify --pages 3 {0}", linesOf(made.out).value(0), 1, {}, failed + QStringLiteral("page count changed")},
        {"verify -f jane {0}", textPdf(QStringLiteral("text.pdf"), "Jane Doe"), 1, {},
         failed + QStringLiteral("redacted text remains selectable")},
        // A file without pages is no output, whatever else it lacks.
        {"verify {0}", PdfBuilder().write(path(QStringLiteral("zero.pdf"))), 1, {}, failed + QStringLiteral("page count changed")},
    };
    for (const auto& [line, file, exitCode, out, err] : cases) {
        const ProcessResult r = cli(line, {file});
        EXPECT_EQ(r.exitCode, exitCode) << line;
        EXPECT_EQ(trimmed(r.out), out);
        EXPECT_EQ(trimmed(r.err), err);
    }
}

// ---- list -----------------------------------------------------------------------

TEST_F(CliTest, ListShowsWhatARunWouldProcess)
{
    const QString in = inFolder({{"a good.pdf", 2}});
    const QString good = path(QStringLiteral("in/a good.pdf"));
    const QString broken = notPdf(QStringLiteral("in/b broken.pdf"));
    const QString zero = PdfBuilder().write(path(QStringLiteral("in/c zero.pdf")));
    notPdf(QStringLiteral("in/notes.txt"));

    ProcessResult r = cli("list {0}", {in});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(linesOf(r.out), (QStringList{good + QStringLiteral(": 2 pages"), broken + QStringLiteral(": not a readable PDF"),
                                           zero + QStringLiteral(": contains no pages")}));

    r = cli("list --json {0}", {in});
    EXPECT_EQ(r.exitCode, 1);
    const QStringList lines = linesOf(r.out);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(jsonLine(lines[0]), (QJsonObject{{QStringLiteral("path"), good}, {QStringLiteral("readable"), true}, {QStringLiteral("pages"), 2}}));
    EXPECT_EQ(jsonLine(lines[1]), (QJsonObject{{QStringLiteral("path"), broken}, {QStringLiteral("readable"), false},
                                               {QStringLiteral("reason"), QStringLiteral("not a readable PDF")}}));
    EXPECT_EQ(jsonLine(lines[2])[QStringLiteral("reason")].toString(), QStringLiteral("contains no pages"));

    r = cli("list {0}", {good});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(linesOf(r.out), QStringList{good + QStringLiteral(": 2 pages")});
}

} // namespace
