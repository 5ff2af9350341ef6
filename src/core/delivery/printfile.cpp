#include "delivery/printfile.h"

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

namespace mw {

QString DefaultPrintCommand()
{
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString variable = QStringLiteral("MERROWIND_PRINT_COMMAND");
    if (env.contains(variable))
        return env.value(variable);
    if (!QStandardPaths::findExecutable(QStringLiteral("lp")).isEmpty())
        return QStringLiteral("lp %1");
    return QString();
}

void PrintFile(const QString& path)
{
    PrintFile(path, DefaultPrintCommand());
}

void PrintFile(const QString& path, const QString& printCommand)
{
    QStringList arguments = QProcess::splitCommand(printCommand);
    if (arguments.isEmpty())
        return;
    const QString program = arguments.takeFirst();
    // A full path: a document named "-x.pdf" must not read as an option.
    const QString document = QFileInfo(path).absoluteFilePath();

    const QString marker = QStringLiteral("%1");
    bool placed = false;
    for (QString& argument : arguments) {
        const qsizetype at = argument.indexOf(marker);
        if (at >= 0) {
            argument.replace(at, marker.size(), document);
            placed = true;
            break;
        }
    }
    if (!placed)
        arguments << document;

    QProcess::startDetached(program, arguments);
}

} // namespace mw
