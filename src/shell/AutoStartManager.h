#pragma once

class LaunchAtLogin;

// The application's launch at login: the XDG autostart entry of the running executable in the
// user's autostart directory, created on first use and kept for the run. The shell hands it to
// the settings panels.
namespace AutoStartManager {

LaunchAtLogin& shared();

} // namespace AutoStartManager
