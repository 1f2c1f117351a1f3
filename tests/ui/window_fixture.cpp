#include "tests/ui/window_fixture.h"

#include "core/engine.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>

#include <chrono>
#include <thread>

namespace inkveil::test {

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
        return RedactionResult{output, verification, {}};
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

void WindowTest::settle()
{
    EXPECT_TRUE(QTest::qWaitFor([this] { return !model().isRendering() && !model().isReading(); }, 60000));
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

// Runs act every few milliseconds until it returns true (at most 10 s).
void whenReady(std::function<bool()> act)
{
    auto* timer = new QTimer;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act = std::move(act), deadline] {
        if (act() || std::chrono::steady_clock::now() > deadline)
            timer->deleteLater();
    });
    timer->start(10);
}

} // namespace

void pressAndMove(QWidget* widget, const QPointF& from, const QList<QPointF>& path)
{
    send(widget, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    for (const QPointF& point : path)
        moveHeld(widget, point);
}

void moveHeld(QWidget* widget, const QPointF& to) { send(widget, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton); }

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
        for (QAction* action : menu ? menu->actions() : QList<QAction*>()) {
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

// Sends the drag events of files over target: always an enter and a move, then a drop if asked.
void sendFileDrag(QWidget* target, const QStringList& files, bool drop)
{
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& file : files)
        urls.append(QUrl::fromLocalFile(file));
    mime.setUrls(urls);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &mime, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    if (drop) {
        QDropEvent event(QPointF(at), Qt::CopyAction, &mime, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    }
}

} // namespace

void dragFilesOver(QWidget* target, const QStringList& files) { sendFileDrag(target, files, false); }
void dropFiles(QWidget* target, const QStringList& files) { sendFileDrag(target, files, true); }

void leaveWithFiles(QWidget* target)
{
    QDragLeaveEvent leave;
    QApplication::sendEvent(target, &leave);
}

} // namespace inkveil::test
