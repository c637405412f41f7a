// Starting another program as an independent process, without waiting for it and
// without keeping a link to it.
#pragma once

#include <QString>

namespace launch {

// Starts the program at commandLine, a path relative to the current directory (or
// absolute). Returns false, with a reason in *error, when it could not be started.
bool startDetached(const QString &commandLine, QString *error = nullptr);

} // namespace launch
