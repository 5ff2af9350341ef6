#pragma once
// `merrowind run send`: the send buttons of the requisition window, the applicants
// window and the applicant activity window, without windows.
//
//   merrowind run send REQ unsent | all | resend MM/DD/YYYY | initial-forms
//                          | final-forms | applicant ID
//   merrowind run send --group ID        the "All Jobs" button
//
// The mode is a word after the requisition number (the command line takes no
// options of a command's own). Like the windows, the run checks the user's mail
// set-up first and asks the buttons' questions; --yes answers every question Yes,
// also the offer to send initial forms that were never sent. Whoever may open the
// requisition window may send its requisitions (a restricted user only those of his
// groups); "All Jobs" needs the right to send all jobs.

#include "commands/commandline.h"

namespace mw {

ProcessCommand sendProcessCommand();

} // namespace mw
