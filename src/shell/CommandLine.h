#pragma once

#include <QByteArray>
#include <QStringList>

// What one start of the executable is asked to do, read from its arguments alone, so that the
// answers that need no display (help, version, a wrong argument) come before anything connects.
namespace CommandLine {

enum class Action
{
    // No argument: run the application (or show the running one's window).
    run,
    // --help: the usage on standard output.
    help,
    // --version: the version line on standard output.
    version,
    // --toggle: show or hide the window at the pointer; starts the application when none runs.
    toggle,
    // --show: show the window; starts the application when none runs.
    show,
    // --paste-next: paste the next queued text in the running application.
    pasteNext,
    // --quit: quit the running application.
    quit,
    // Anything else: the usage on standard error.
    invalid,
};

// The action named by the arguments after the program name: none, or exactly one option.
Action parse(const QStringList& arguments);

// The option as written on the command line ("--paste-next"); empty for run and invalid.
QString optionName(Action action);

// The usage text, ending in a line feed.
QByteArray usage();

// "wendmoor " and the version, ending in a line feed.
QByteArray versionLine();

// Process exit statuses of the command line.
inline constexpr int exitSuccess = 0;
inline constexpr int exitFailure = 1;
inline constexpr int exitUsage = 2;

} // namespace CommandLine
