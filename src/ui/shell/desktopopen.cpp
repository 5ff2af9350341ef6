#include "shell/desktopopen.h"

#include <QDesktopServices>
#include <QUrl>

namespace mw {

TApplicationViewer::Opener desktopOpener()
{
    return [](const QString& path, const QString&, const QString&, int) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path)) ? 42 : 0;
    };
}

} // namespace mw
