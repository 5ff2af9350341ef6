#pragma once
// Packing the database: every table is taken for exclusive use (no other running
// copy attached), then compacted by the backend, then opened again for shared use.

#include "shared/operation.h"

#include <QString>

namespace mw {

class TMerrowindData;
class TTable;
class UserTalk;

// Packs the eleven tables in order, naming each in the please-wait window. Raises
// DbError when the user gives up on the exclusive open or the backend fails;
// tables packed before stay packed.
void PackTables(TMerrowindData& data, UserTalk& talk);
// Packs one table: exclusive open, compaction, reopened shared.
void PackTable(TMerrowindData& data, UserTalk& talk, TTable& table);
// Closes the table and waits for exclusive use, asking whether to try again while
// another running copy is attached. On Cancel the table is opened again for shared
// use and DbError is raised.
void OpenExclusive(TMerrowindData& data, UserTalk& talk, TTable& table);

// "Pa&ck Database": the question, PackTables, "Database Packed". Fails when
// another running copy stays attached and the user gives up, or the backend fails.
OperationResult PackDatabaseCommand(TMerrowindData& data, UserTalk& talk);

} // namespace mw
