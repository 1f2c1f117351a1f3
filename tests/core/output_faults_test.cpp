#include "core/engine.h"
#include "tests/support/child_process.h"
#include "tests/support/pdf_builder.h"
#include "tests/support/test_env.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <random>

using namespace inkveil;
using inkveil::test::ChildOutcome;
using inkveil::test::entriesOf;
using inkveil::test::PageSpec;
using inkveil::test::PdfBuilder;
using inkveil::test::Report;

namespace {

constexpr int kPages = 8;

// Pages of grey noise: their images hardly compress, so the output is large
// enough (several MB) for writes to fail part way through.
PdfBuilder noisyDocument()
{
    std::mt19937 random(7);
    PdfBuilder b;
    for (int i = 0; i < kPages; ++i) {
        std::string samples(384 * 384, '\0');
        for (char& c : samples)
            c = static_cast<char>(random() & 0xff);
        const int image = b.object(inkveil::test::streamObject(samples, "/Type /XObject /Subtype /Image /Width 384 /Height 384 "
                                                                        "/ColorSpace /DeviceGray /BitsPerComponent 8"));
        PageSpec page;
        page.texts.push_back({72, 700, 12, "Noise page " + std::to_string(i + 1)});
        page.extraResources = "/XObject << /Im0 " + std::to_string(image) + " 0 R >>";
        page.extraContent = "q 468 0 0 500 72 100 cm /Im0 Do Q";
        b.page(page);
    }
    return b;
}

RedactionPlan plan()
{
    RedactionPlan p;
    p.regions = {RedactionRegion(0, Rect{0.1, 0.85, 0.4, 0.06})};
    p.dpi = 150;
    return p;
}

// What a redaction in this process ended with: "ok" or the error's text, and errno
// for file errors.
struct Ending {
    QString text;
    int errorNumber = 0;
};

Ending redactAndTell(const QString& source, const QString& destination, const InkveilEngine::PageProgress& progress = {})
{
    try {
        InkveilEngine::redact(source, destination, plan(), {}, progress);
        return {QStringLiteral("ok"), 0};
    } catch (const FileError& e) {
        return {e.description(), e.errorNumber()};
    } catch (const Error& e) {
        return {e.description(), 0};
    }
}

// Runs a redaction in the child and reports "errno=<n>" and the destination's
// entries, one per line.
void redactInChild(const QString& source, const QString& destination, const Report& report)
{
    const Ending ending = redactAndTell(source, destination);
    report("result=" + ending.text.toStdString() + "\nerrno=" + std::to_string(ending.errorNumber) + "\n");
    for (const QString& name : entriesOf(destination))
        report("entry=" + name.toStdString() + "\n");
}

bool reportHas(const ChildOutcome& outcome, const std::string& line)
{
    return outcome.report.find(line + "\n") != std::string::npos;
}

// A small tmpfs over folder, in a mount namespace of this process's own (a
// user namespace too when not root). False when the system does not allow it.
bool mountSmallTmpfs(const QString& folder, std::size_t bytes)
{
    if (::unshare(CLONE_NEWNS) != 0) {
        const uid_t uid = ::geteuid();
        const gid_t gid = ::getegid();
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            return false;
        const auto put = [](const char* file, const std::string& text) {
            const int fd = ::open(file, O_WRONLY);
            const bool ok = fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
            if (fd >= 0)
                ::close(fd);
            return ok;
        };
        put("/proc/self/setgroups", "deny");
        if (!put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1")
            || !put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
            return false;
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return false;
    const std::string options = "size=" + std::to_string(bytes);
    return ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options.c_str()) == 0;
}

} // namespace

class OutputFaultTest : public inkveil::test::TempDirTest {
protected:
    void SetUp() override
    {
        m_source = noisyDocument().write(path(QStringLiteral("Noise.pdf")));
        m_sourceBytes = inkveil::test::readAll(m_source);
        m_out = path(QStringLiteral("out"));
        ASSERT_TRUE(QDir().mkpath(m_out));
    }
    void TearDown() override { EXPECT_EQ(inkveil::test::readAll(m_source), m_sourceBytes) << "the source changed"; }

    // Size of a complete output, measured once.
    qint64 outputSize()
    {
        const QString probe = path(QStringLiteral("probe"));
        const RedactionResult result = InkveilEngine::redact(m_source, probe, plan());
        return QFileInfo(result.output).size();
    }

    QString m_source;
    QByteArray m_sourceBytes;
    QString m_out;
};

TEST_F(OutputFaultTest, FullDiskAndFileSizeLimitFailCleanly)
{
    const qint64 complete = outputSize();
    ASSERT_GT(complete, 2 << 20) << "the output must outgrow the writer's 1 MB buffer";
    // Before the first byte, part way through, and just short of the end.
    for (const qint64 room : {qint64{4096}, complete / 3, complete - 16384}) {
        for (const bool fullDisk : {true, false}) {
            SCOPED_TRACE(testing::Message() << room << (fullDisk ? " on a small disk" : " as the file size limit"));
            const ChildOutcome child = inkveil::test::runInChild([&](const Report& report) {
                if (fullDisk && !mountSmallTmpfs(m_out, static_cast<std::size_t>(room))) {
                    report("skip\n");
                    return;
                }
                if (!fullDisk) {
                    ::signal(SIGXFSZ, SIG_IGN);
                    const rlimit size{static_cast<rlim_t>(room), static_cast<rlim_t>(room)};
                    ::setrlimit(RLIMIT_FSIZE, &size);
                }
                redactInChild(m_source, m_out, report);
            });
            ASSERT_EQ(child.exitCode, 0) << child.report;
            if (reportHas(child, "skip"))
                continue; // no tmpfs mount allowed here
            EXPECT_TRUE(reportHas(child, "errno=" + std::to_string(fullDisk ? ENOSPC : EFBIG))) << child.report;
            // Named after the copy it would have made, not the vanished temporary file.
            EXPECT_NE(child.report.find(" \u2014 Redacted.pdf\n"), std::string::npos) << child.report;
            EXPECT_EQ(child.report.find("entry="), std::string::npos) << child.report;
        }
    }
    EXPECT_TRUE(entriesOf(m_out).isEmpty());
}

// Removed, or replaced by a new, empty folder of the same name: the file
// written is gone all the same.
TEST_F(OutputFaultTest, DestinationRemovedMidRun)
{
    for (const bool replaced : {false, true}) {
        ASSERT_TRUE(QDir().mkpath(m_out));
        const Ending ending = redactAndTell(m_source, m_out, [&](std::int64_t done, std::int64_t) {
            if (done == 1 && QDir(m_out).removeRecursively() && replaced)
                QDir().mkpath(m_out);
        });
        EXPECT_EQ(ending.errorNumber, ENOENT) << ending.text.toStdString();
        EXPECT_EQ(QFileInfo::exists(m_out), replaced);
        EXPECT_TRUE(entriesOf(m_out).isEmpty());
    }
}

TEST_F(OutputFaultTest, PermissionLostMidRun)
{
    // Root ignores folder permissions: the child gives up root first.
    const uid_t nobody = 65534;
    if (::geteuid() == 0) {
        for (const QString& p : {dir(), m_source, m_out})
            ASSERT_EQ(::chown(QFile::encodeName(p).constData(), nobody, nobody), 0);
    }
    const ChildOutcome child = inkveil::test::runInChild([&](const Report& report) {
        if (::geteuid() == 0 && (::setgid(nobody) != 0 || ::setuid(nobody) != 0)) {
            report("skip\n");
            return;
        }
        const Ending ending = redactAndTell(m_source, m_out, [&](std::int64_t done, std::int64_t) {
            if (done == 1)
                ::chmod(QFile::encodeName(m_out).constData(), 0555);
        });
        report("errno=" + std::to_string(ending.errorNumber) + "\n");
    });
    ASSERT_EQ(child.exitCode, 0) << child.report;
    if (reportHas(child, "skip"))
        GTEST_SKIP() << "cannot drop root here";
    EXPECT_TRUE(reportHas(child, "errno=" + std::to_string(EACCES))) << child.report;

    // No output; the temporary file could not be removed from the read-only
    // folder, but it was emptied, and the next run there takes it away.
    const QStringList left = entriesOf(m_out);
    ASSERT_EQ(left.size(), 1);
    EXPECT_TRUE(left[0].startsWith(QStringLiteral(".inkveil-partial-"))) << left[0].toStdString();
    EXPECT_EQ(QFileInfo(QDir(m_out).filePath(left[0])).size(), 0);
    ::chmod(QFile::encodeName(m_out).constData(), 0755);
    EXPECT_EQ(redactAndTell(m_source, m_out).text, QStringLiteral("ok"));
    EXPECT_EQ(entriesOf(m_out), QStringList{QStringLiteral("Noise \u2014 Redacted.pdf")});
}

class KilledRunTest : public OutputFaultTest, public ::testing::WithParamInterface<int> {};

// Killed after the given number of pages: after the first, or after the last
// one, when the file is complete but neither verified nor published.
TEST_P(KilledRunTest, LeavesOnlyItsTemporaryFileWhichTheNextRunRemoves)
{
    const int pagesBeforeKill = GetParam();
    QStringList seenByOtherRun;
    const ChildOutcome child = inkveil::test::runInChild(
        [&](const Report& report) {
            redactAndTell(m_source, m_out, [&](std::int64_t done, std::int64_t) {
                if (done == pagesBeforeKill) {
                    report("paused\n");
                    for (;;)
                        ::pause();
                }
            });
        },
        "paused",
        [&] {
            // Another run in the same folder while the child still writes: the
            // live file is not taken from it.
            redactAndTell(m_source, m_out);
            seenByOtherRun = entriesOf(m_out);
        });
    EXPECT_TRUE(child.killed);
    ASSERT_EQ(seenByOtherRun.size(), 2) << seenByOtherRun.join(u',').toStdString();
    EXPECT_EQ(seenByOtherRun.filter(QStringLiteral(".inkveil-partial-")).size(), 1);
    EXPECT_TRUE(seenByOtherRun.contains(QStringLiteral("Noise \u2014 Redacted.pdf")));

    // Killed: its one temporary file stays behind, under no final name...
    EXPECT_EQ(entriesOf(m_out), seenByOtherRun);
    // ...until the next run in the folder.
    EXPECT_EQ(redactAndTell(m_source, m_out).text, QStringLiteral("ok"));
    EXPECT_EQ(entriesOf(m_out), (QStringList{QStringLiteral("Noise \u2014 Redacted 2.pdf"), QStringLiteral("Noise \u2014 Redacted.pdf")}));
}

INSTANTIATE_TEST_SUITE_P(Moments, KilledRunTest, ::testing::Values(1, kPages),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == 1 ? std::string("AfterFirstPage") : std::string("AfterLastPage");
                         });
