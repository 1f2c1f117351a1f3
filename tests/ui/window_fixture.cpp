#include "tests/ui/window_fixture.h"

#include "core/engine.h"
#include "ui/content_view.h"
#include "ui/controls_pane.h"
#include "ui/files_pane.h"
#include "ui/main_window.h"
#include "ui/page_canvas.h"
#include "ui/preview_pane.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <thread>

namespace inkveil::test {

QStringList FakeDialogs::chooseInputs(const QString&, const QString&)
{
    ++inputRequests;
    return inputsAnswer;
}

std::optional<QString> FakeDialogs::chooseOutputFolder(const QString&, const QString&, const std::optional<QString>&)
{
    ++folderRequests;
    return folderAnswer;
}

Redactor HeldRedactor::redactor()
{
    return [allowed = m_allowed, started = m_started](const QString& source, const QString& destination,
                                                      const RedactionPlan& plan,
                                                      const InkveilEngine::CancelCheck& shouldCancel,
                                                      const InkveilEngine::PageProgress&) {
        const int index = (*started)++;
        while (*allowed <= index) {
            if (shouldCancel())
                throw InkveilError::cancelled();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        const QString output = InkveilEngine::availableURL(
            destination, QFileInfo(source).completeBaseName() + InkveilEngine::kRedactedSuffix);
        QFile file(output);
        if (!file.open(QIODevice::WriteOnly))
            throw FileError(output, QStringLiteral("cannot write"));
        file.write("%PDF-1.7 stand-in\n");
        RedactionVerification verification;
        verification.pageCount = 1;
        verification.redactionCount = static_cast<std::int64_t>(plan.regions.size());
        return RedactionResult{output, verification};
    };
}

void WindowTest::SetUp()
{
    for (const char* name : {"MERVO_UI_TEST_INPUTS", "MERVO_UI_TEST_OUTPUT_DIR"})
        qunsetenv(name);
    qputenv("DISABLE_AUTO_UPDATE", "1");
}

void WindowTest::TearDown()
{
    if (m_app) {
        m_app->model().cancelRedactionAndWait();
        m_app.reset();
    }
    qunsetenv("DISABLE_AUTO_UPDATE");
    // Whatever a failed test left open.
    for (QWidget* widget : QApplication::topLevelWidgets())
        widget->close();
    QCoreApplication::processEvents();
}

InkveilApp& WindowTest::hiddenApp()
{
    if (!m_app) {
        m_app = std::make_unique<InkveilApp>();
        m_app->model().setDialogs(&dialogs);
    }
    return *m_app;
}

InkveilApp& WindowTest::app()
{
    hiddenApp();
    if (!m_shown) {
        m_shown = true;
        m_app->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&m_app->window()));
        m_app->window().activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&m_app->window()));
    }
    return *m_app;
}

void WindowTest::focusCanvas()
{
    canvas().setFocus(Qt::OtherFocusReason);
}

ContentView& WindowTest::content() { return *app().window().content(); }
FilesPane& WindowTest::files() { return *content().filesPane(); }
PreviewPane& WindowTest::preview() { return *content().previewPane(); }
PageCanvas& WindowTest::canvas() { return *preview().canvas(); }
ControlsPane& WindowTest::controls() { return *content().controlsPane(); }

QString WindowTest::pdf(const QString& name, int pages, const std::string& text)
{
    PdfBuilder builder;
    for (int i = 1; i <= pages; ++i)
        builder.textPage(text + " " + std::to_string(i));
    return builder.write(path(name));
}

QString WindowTest::folder(const QString& name)
{
    QDir(dir()).mkpath(name);
    return path(name);
}

bool WindowTest::waitForRunEnd(int timeoutMs)
{
    return QTest::qWaitFor([this] { return !model().isRedacting(); }, timeoutMs);
}

void WindowTest::settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

// ---- Synthesized input -----------------------------------------------------

namespace {

void send(QWidget* widget, QEvent::Type type, const QPointF& at, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, widget->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// Runs check every few milliseconds until it returns true (at most 10 s).
void whenReady(std::function<bool()> check)
{
    auto* timer = new QTimer;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, check = std::move(check), deadline] {
        if (check() || std::chrono::steady_clock::now() > deadline)
            timer->deleteLater();
    });
    timer->start(10);
}

} // namespace

void pressAndMove(QWidget* widget, const QPointF& from, const QList<QPointF>& path)
{
    send(widget, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    for (const QPointF& point : path)
        send(widget, QEvent::MouseMove, point, Qt::NoButton, Qt::LeftButton);
}

void moveHeld(QWidget* widget, const QPointF& to)
{
    send(widget, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
}

void release(QWidget* widget, const QPointF& at)
{
    send(widget, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
}

void drag(QWidget* widget, const QPointF& from, const QList<QPointF>& path)
{
    pressAndMove(widget, from, path);
    release(widget, path.isEmpty() ? from : path.back());
}

void answerNextAlert(const QString& buttonText, std::function<void(QMessageBox&)> inspect)
{
    whenReady([buttonText, inspect] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return false;
        if (inspect)
            inspect(*box);
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == buttonText) {
                button->click();
                return true;
            }
        }
        return false;
    });
}

void chooseNextMenuItem(const QString& itemText)
{
    whenReady([itemText] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return false;
        for (QAction* action : menu->actions()) {
            if (action->text() == itemText) {
                menu->close();
                action->trigger();
                return true;
            }
        }
        return false;
    });
}

namespace {

QMimeData* fileMime(const QStringList& files)
{
    auto* mime = new QMimeData;
    QList<QUrl> urls;
    for (const QString& file : files)
        urls.append(QUrl::fromLocalFile(file));
    mime->setUrls(urls);
    return mime;
}

} // namespace

void dragFilesOver(QWidget* target, const QStringList& files)
{
    std::unique_ptr<QMimeData> mime(fileMime(files));
    QDragEnterEvent enter(target->rect().center(), Qt::CopyAction, mime.get(), Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDragMoveEvent move(target->rect().center(), Qt::CopyAction, mime.get(), Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
}

void dropFiles(QWidget* target, const QStringList& files)
{
    dragFilesOver(target, files);
    std::unique_ptr<QMimeData> mime(fileMime(files));
    QDropEvent drop(QPointF(target->rect().center()), Qt::CopyAction, mime.get(), Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

void leaveWithFiles(QWidget* target)
{
    QDragLeaveEvent leave;
    QApplication::sendEvent(target, &leave);
}

} // namespace inkveil::test
