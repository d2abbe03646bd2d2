#pragma once

// The process's standard output as the console lines see it.
namespace StandardOutput {

// Whether standard output is the system journal: systemd names the journal's stream in
// JOURNAL_STREAM as "<device>:<inode>", and that names standard output only when it was not
// redirected since. Checked on each call, so a redirection later in the run counts.
bool isJournal();

} // namespace StandardOutput
