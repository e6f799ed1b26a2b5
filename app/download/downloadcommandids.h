// Command numbers of the download list's menus, posted to the main window.
#pragma once

namespace downloadcommand {
inline constexpr int kNewTask = 32771;
inline constexpr int kDeleteTask = 32772;
inline constexpr int kStartBranch = 32788;
inline constexpr int kStopBranch = 32789;
inline constexpr int kStopDownload = 32792;
inline constexpr int kResumeDownload = 32795;
inline constexpr int kClearBranchLog = 32797;
inline constexpr int kStartDownload = 32798;
inline constexpr int kExecuteLocalFile = 32799;
}  // namespace downloadcommand
