#pragma once
// kolvane-db import [--server "..."] [--code-page N] [--check] ACCESS_FILE [TARGET]
#include <QStringList>

namespace Import {

// Runs the command with the arguments after "import"; returns the exit code.
int command(const QStringList& args);

} // namespace Import
