#pragma once
// Protection changes that fail on purpose. A real VirtualProtect can refuse (the commit limit, another tool's
// guard pages); with this switch the simulated host refuses one chosen request to make its code writable, or
// the plug-in's own code executable, in either build of the plug-in.

namespace simhost {

// From now on counts the requests that add write access to pages of the image's code, or that make memory
// outside the image executable (where the plug-in writes code of its own), and refuses the one numbered `failing`
// (the first is 1; 0 refuses none). Requests of the simulated host itself count as well, but for its loader's:
// arm it only around what the plug-in does.
void ArmProtectionFaults(int failing);

// Stops counting and refusing; returns how many requests were counted since armed.
int DisarmProtectionFaults();

}  // namespace simhost
