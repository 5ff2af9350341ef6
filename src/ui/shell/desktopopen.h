#pragma once
// Opening a document with the application the desktop has for its type.

#include "delivery/fileutils.h"

namespace mw {

// An opener for TApplicationViewer: hands the file to the desktop. Gives a result
// above 32 when the desktop took it, 0 when it could not (parameters, directory and
// show mode have no meaning here and are ignored).
TApplicationViewer::Opener desktopOpener();

} // namespace mw
