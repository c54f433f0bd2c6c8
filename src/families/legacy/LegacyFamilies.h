#pragma once
// Older dialects that still have a series letter: the program sends the probes of three of
// them (families 0, 1 and 3) on every pass, as older cameras expect, but reads none of their
// replies, so none of them ever produces a record. Families 6, 7 and 999 have a letter only.

#include "CameraFamily.h"

#include <memory>
#include <vector>

namespace Legacy {
// "SQ610", 256 bytes, from engine socket 1 to port 4000 (family 0).
inline constexpr quint16 kSq610Port = 4000;
QByteArray Sq610Probe();
// "IMAGIAQUERY,0" from engine socket 1 to port 10000 on every third tick (family 1).
inline constexpr quint16 kImagiaPort = 10000;
QByteArray ImagiaProbe();
bool ImagiaProbeDue(int tick);
// "uicam query" from engine socket 3 to port 10139 (family 3).
inline constexpr quint16 kUicamPort = 10139;
QByteArray UicamProbe();
}  // namespace Legacy

// One family each, in the order their probes go out where they have one.
std::unique_ptr<ICameraFamily> MakeImagiaFamily();  // 1
std::unique_ptr<ICameraFamily> MakeSq610Family();   // 0
std::unique_ptr<ICameraFamily> MakeUicamFamily();   // 3
// 6, 7 and 999: letters only.
std::vector<std::unique_ptr<ICameraFamily>> MakeLetterOnlyFamilies();
