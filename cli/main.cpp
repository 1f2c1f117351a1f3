#include "cli/commands.h"
#include "cli/console.h"
#include "cli/options.h"

#include <QCoreApplication>

#include <exception>
#include <variant>

namespace {

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};

} // namespace

int main(int argc, char** argv)
{
    using namespace inkveil::cli;

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("inkveil-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(INKVEIL_VERSION));

    Command command;
    try {
        command = parseArguments(QCoreApplication::arguments().mid(1));
    } catch (const UsageError& e) {
        printErr(QStringLiteral("inkveil-cli: %1").arg(e.message()));
        printErr(usageText());
        return kExitUsage;
    }

    try {
        return std::visit(Overloaded{
                              [](const HelpRequest&) {
                                  printOut(usageText());
                                  return kExitSuccess;
                              },
                              [](const VersionRequest&) {
                                  printOut(QStringLiteral("inkveil-cli %1").arg(QCoreApplication::applicationVersion()));
                                  return kExitSuccess;
                              },
                              [](const RedactOptions& o) { return runRedact(o); },
                              [](const FindOptions& o) { return runFind(o); },
                              [](const VerifyOptions& o) { return runVerify(o); },
                              [](const ListOptions& o) { return runList(o); },
                          },
                          command);
    } catch (const std::exception& e) {
        printErr(QString::fromLocal8Bit(e.what()));
        return kExitFailure;
    }
}
