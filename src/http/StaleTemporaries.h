#pragma once

#include <string>

// The temporary files a transfer writes before its target is complete are
// named ".part-<pid>-<n>" (pid and n in lower-case hexadecimal; see
// TargetFile). A process that is killed leaves them behind.

// The pid in such a name; 0 when the name is not one of ours.
long PidOfTemporary(const std::string& name);

// Removes, anywhere under folder, the temporaries of processes that no longer
// run. Files of live processes and every other name are kept. Returns the
// number removed.
int RemoveStaleTemporaries(const std::string& folder);
