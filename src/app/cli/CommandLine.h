#pragma once

#include "RunRequest.h"

#include <QList>
#include <QString>
#include <QStringList>

// What the command line of kestrin-cli asks for: runs, one per source and in their order, or a
// text to show before leaving (the help, the version, or why the command line is wrong).
struct CommandLine {
    enum class Action { run, help, version, usageError };
    Action action = Action::run;
    QString text;
    QList<RunRequest> requests;
    bool json = false;

    // Reads the arguments (the program name first); every run drives the tools given.
    static CommandLine read(const QStringList& arguments, const ToolPaths& tools);
};
