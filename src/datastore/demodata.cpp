#include "datastore/createdatabase.h"

namespace mw {

QStringList fillDemoData(const DatabaseLocation&, const QString&) { return {}; }

} // namespace mw
