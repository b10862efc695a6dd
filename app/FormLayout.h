#pragma once
// The 96-dpi geometry of the main window and the About window, shared by every window layer
// that lays them out (Qt on Linux, Win32 on Windows). Control positions are given where each
// control is made.

namespace nb {

namespace form1 {
inline constexpr int ClientWidth = 275;
inline constexpr int ClientHeight = 358;
inline constexpr int Panel2Height = 60;
inline constexpr int Panel4Height = 58;
inline constexpr int StatusBarHeight = 22;
inline constexpr int ProgressPanelWidth = 102;
}  // namespace form1

namespace form2 {
inline constexpr int ClientWidth = 349;
inline constexpr int ClientHeight = 282;
inline constexpr int BorderWidth = 4;
inline constexpr int StripHeight = 6;
}  // namespace form2

}  // namespace nb
