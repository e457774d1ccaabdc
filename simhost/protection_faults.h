#pragma once
// Protection changes that fail on purpose. A real VirtualProtect can refuse (the commit limit, another tool's
// guard pages); with this switch the simulated host refuses one chosen request to make its code writable, or
// the plug-in's own code executable, in either build of the plug-in.

namespace simhost {

// From now on counts the requests that add write access to pages of the image's code, or that make memory
// outside the image executable (where the plug-in writes code of its own), and refuses `count` of them from the
// one numbered `failing` on (the first is 1; 0 refuses none; a count of 0 refuses every one from there on).
// Requests of the simulated host itself count as well, but for its loader's: arm it only around what the plug-in
// does.
void ArmProtectionFaults(int failing, int count = 1);

// Stops counting and refusing; returns how many requests were counted since armed.
int DisarmProtectionFaults();

}  // namespace simhost
