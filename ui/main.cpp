// inkveil: the desktop application.

#include "ui/inkveil_app.h"
#include "ui/inkveil_delegate.h"
#include "ui/open_with_channel.h"
#include "update/bundle_swap.h"

#include <QApplication>
#include <QDir>

int main(int argc, char** argv)
{
    // Started again by an accepted update to swap the bundles after we end.
    if (const auto swapped = inkveil::BundleSwap::runIfAsked(argc, argv))
        return *swapped;
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Mervo"));
    QApplication::setApplicationName(QStringLiteral("Inkveil"));
    QApplication::setDesktopFileName(QStringLiteral("com.mervo.Inkveil"));

    const QStringList files = inkveil::OpenWith::filesFromArguments(QApplication::arguments().mid(1), QDir::currentPath());
    const QString channel = inkveil::OpenWith::serverName();
    // Already running: it takes the files and comes forward.
    if (inkveil::OpenWith::forward(channel, files))
        return 0;

    inkveil::InkveilApp inkveil;
    inkveil::OpenWith::Server server;
    server.listen(channel);
    QObject::connect(&server, &inkveil::OpenWith::Server::filesOpened, &inkveil, &inkveil::InkveilApp::open);

    inkveil.delegate().openFiles(files);
    inkveil.show();
    return QApplication::exec();
}
