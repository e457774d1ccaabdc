#pragma once

namespace trails {
// Once per frame, the host's vehicle pool decides who leaves trail points and who tows a banner: the vehicle at
// pool index i feeds trail slot i or places the head of banner chain i.

// Walks the host vehicle pool: each aircraft is served by the rule its model has (config/rules.h). Trail aircraft
// above their rule's Height add a trail point, banner aircraft that meet their rule's conditions move their banner
// head; either slot remembers the rule. Vehicles at pool index 50 or above have no slot and get neither.
void ScanAircraft();

}  // namespace trails
