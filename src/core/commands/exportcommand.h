#pragma once
// `merrowind run export`: the data export of the requisition window without a
// window. Run it in the directory that holds the export templates.
//
//   export REQ --file PATH         saves the requisition's list at PATH (its
//                                  extension follows the file made: .xls or .csv)
//   export REQ --send              mails the list to the requisition's department
//   export --group ID [--continuous] --send
//                                  mails every requisition of the job posting group
//                                  its own list (--continuous: the group's
//                                  continuous-recruitment requisitions only)
//
// --continuous also selects the continuous-recruitment templates. The message to
// the department is the settings' continuous-recruitment message.

#include "commands/commandline.h"

namespace mw {

// The command's entry of processCommands().
ProcessCommand exportProcessCommand();

// Runs it; arguments: REQ, and the options as "--file=PATH", "--send",
// "--continuous", "--group=ID".
OperationResult exportFromCommandLine(TMerrowindData& data, UserTalk& talk, const QStringList& arguments);

} // namespace mw
