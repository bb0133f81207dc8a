#pragma once
// The mark of the stand-in firmware image that the build writes for the simulated processor
// (tools/fwgen). A real processor must never receive it: the device link refuses to upload a
// file that starts with this text unless the developer switch is on (the environment
// variable below set to 1, which the demo and the tests do and nothing installed does).
// Plain C++, shared with the generator.

namespace korvane {

// At offset 0 of the stand-in, without a terminator.
inline constexpr char kStandInFirmwareMarker[] = "KORVANE-S STAND-IN FIRMWARE - SIMULATED PROCESSOR ONLY";
inline constexpr int kStandInFirmwareMarkerLength = sizeof(kStandInFirmwareMarker) - 1;
inline constexpr char kStandInFirmwareSwitch[] = "KORVANE_ALLOW_STANDIN_FIRMWARE";

} // namespace korvane
