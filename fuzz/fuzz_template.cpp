// Arbitrary bytes as a customer's department template: read as a template (line
// ends, encoding, byte-order mark), then written back as a text file and as an
// HTML page (character references, the inserted character-set declaration) with
// its own lines and a name from several planes.

#include "delivery/deptfiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryFile>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_template";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);

    QTemporaryFile file;
    if (!file.open())
        return 0;
    file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    file.close();

    mw::TemplateText t;
    if (!t.read(file.fileName()))
        return 0;
    QString text = t.lines.join(QLatin1Char('\n'));
    text += QStringLiteral("\nZo\u00eb \u20ac \u5c71\u7530 ") + QString::fromUcs4(U"\U0001F600", 1) + QLatin1Char('\n');
    const QByteArray plain = t.file(text, false);
    const QByteArray html = t.file(text, true);
    // A Windows-1252 HTML page is plain bytes with references; nothing may vanish.
    if (!t.utf8 && html.isEmpty() && !text.isEmpty())
        __builtin_trap();
    (void)plain;
    return 0;
}
