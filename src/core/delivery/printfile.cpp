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

QStringList SplitPrintCommand(const QString& command)
{
    QStringList words;
    QString word;
    bool inWord = false; // a word has begun, even an empty quoted one
    const qsizetype n = command.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = command.at(i);
        if (c == u' ' || c == u'\t' || c == u'\n') {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
            continue;
        }
        const bool began = inWord;
        inWord = true;
        if (c == u'\'') {
            const qsizetype close = command.indexOf(u'\'', i + 1);
            if (close < 0)
                return {};
            word += QStringView(command).mid(i + 1, close - i - 1);
            i = close;
        } else if (c == u'"') {
            for (++i;; ++i) {
                if (i >= n)
                    return {};
                const QChar d = command.at(i);
                if (d == u'"')
                    break;
                if (d == u'\\' && i + 1 < n) {
                    const QChar next = command.at(i + 1);
                    if (next == u'\n') {
                        ++i; // a continued line
                        continue;
                    }
                    if (next == u'$' || next == u'`' || next == u'"' || next == u'\\') {
                        word += next;
                        ++i;
                        continue;
                    }
                }
                word += d;
            }
        } else if (c == u'\\' && i + 1 < n) {
            if (command.at(i + 1) != u'\n')
                word += command.at(i + 1);
            else
                inWord = began; // a continued line adds nothing
            ++i;
        } else {
            word += c;
        }
    }
    if (inWord)
        words << word;
    return words;
}

void PrintFile(const QString& path)
{
    PrintFile(path, DefaultPrintCommand());
}

void PrintFile(const QString& path, const QString& printCommand)
{
    QStringList arguments = SplitPrintCommand(printCommand);
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
