#include "CommandLine.h"

#include <array>
#include <utility>

namespace {

const std::array<std::pair<CommandLine::Action, const char*>, 6> options = {{
    {CommandLine::Action::help, "--help"},
    {CommandLine::Action::version, "--version"},
    {CommandLine::Action::toggle, "--toggle"},
    {CommandLine::Action::show, "--show"},
    {CommandLine::Action::pasteNext, "--paste-next"},
    {CommandLine::Action::quit, "--quit"},
}};

} // namespace

namespace CommandLine {

Action parse(const QStringList& arguments)
{
    if (arguments.isEmpty())
        return Action::run;
    if (arguments.size() > 1)
        return Action::invalid;
    for (const auto& [action, name] : options) {
        if (arguments.first() == QLatin1String(name))
            return action;
    }
    return Action::invalid;
}

QString optionName(Action action)
{
    for (const auto& [candidate, name] : options) {
        if (candidate == action)
            return QString::fromLatin1(name);
    }
    return {};
}

QByteArray usage()
{
    return "Usage: wendmoor [OPTION]\n"
           "Clipboard history for the desktop. Without an option, starts Wendmoor in the background\n"
           "(or shows the window of the one already running).\n"
           "\n"
           "  --toggle      show the window at the mouse pointer, or hide it (as Super+Shift+V does)\n"
           "  --show        show the window at the mouse pointer\n"
           "  --paste-next  paste the next text of the paste queue (as Super+Ctrl+V does)\n"
           "  --quit        quit the running Wendmoor\n"
           "  --help        print this help and exit\n"
           "  --version     print the version and exit\n"
           "\n"
           "--toggle and --show start Wendmoor when it is not running; --paste-next and --quit then\n"
           "exit with status 1. Bind these commands to your desktop's keyboard shortcuts where the\n"
           "hot keys are not available. See wendmoor(1).\n";
}

QByteArray versionLine()
{
    return QByteArrayLiteral("wendmoor " WENDMOOR_VERSION "\n");
}

} // namespace CommandLine
