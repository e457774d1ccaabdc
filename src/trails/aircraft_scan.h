#pragma once

namespace trails {
// Once per frame, the host's vehicle pool decides who leaves trail points and who tows a banner: the vehicle at
// pool index i feeds trail slot i or places the head of banner chain i.

// Walks the host vehicle pool: trail aircraft (the trail model, above Height) add a trail point, banner
// aircraft that meet the banner rule move their banner head. Vehicles at pool index 50 or above have no slot
// and get neither.
void ScanAircraft();

}  // namespace trails
