#pragma once
// Making a new database: the tables and the records a first start needs.

#include "datastore/database.h"
#include "datastore/schema.h"

namespace mw {

// Creates an empty database at the location holding the one settings record, the
// one counter record (both counters at 1), security profile 0 with every right
// and the user SUPERVISOR with an empty password and profile 0. The layout is the
// current one; tests of upgrades ask for an older one.
void createDatabase(const DatabaseLocation& location, int layout = Schema::Version);

} // namespace mw
