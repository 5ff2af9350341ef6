#pragma once
// `merrowind run report`: a report of the Reports menu written as a PDF file,
// without a window or a display.
//
//   report NAME [ARGUMENT] --pdf FILE
//       NAME: requisition REQ, rif, not-rehirable, continuous, veteran,
//       do-not-purge, filled, marked-for-deletion, scan-activity [MM/DD/YYYY]
//       (today without a day), no-applications, no-applicants
//
// The file is written whole or not at all. A report with nothing to report on (no
// applicants, no documents) writes no file and says so.

#include "commands/commandline.h"

namespace mw {

ProcessCommand reportProcessCommand();

// Runs it; arguments: NAME, its argument, and "--pdf=FILE".
OperationResult reportFromCommandLine(TMerrowindData& data, UserTalk& talk, const QStringList& arguments);

} // namespace mw
