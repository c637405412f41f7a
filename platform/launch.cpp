#include "platform/launch.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

bool launch::startDetached(const QString &commandLine, QString *error)
{
    const QString program = QDir::current().absoluteFilePath(commandLine);
    const QFileInfo info(program);
    if (!info.exists() || !info.isFile() || !info.isExecutable()) {
        if (error)
            *error = program;
        return false;
    }
    QProcess process;
    process.setProgram(program);
    process.setWorkingDirectory(QDir::currentPath());
    if (!process.startDetached()) {
        if (error)
            *error = program;
        return false;
    }
    return true;
}
