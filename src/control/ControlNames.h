#pragma once

// Where the running app answers on the session bus.
namespace ControlNames {

inline constexpr char service[] = "dev.skerrow.Skerrow";
inline constexpr char objectPath[] = "/dev/skerrow/Skerrow";
inline constexpr char controlInterface[] = "dev.skerrow.Skerrow1";
inline constexpr char applicationInterface[] = "org.freedesktop.Application";

} // namespace ControlNames
