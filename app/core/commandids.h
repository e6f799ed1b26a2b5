// The numbers of every command, one table for the menus, the lists' context
// menus and the frame that routes them. The values are fixed: lists post
// them and the frame's table is keyed by them.
#pragma once

namespace command {
inline constexpr int kNew = 32771;
inline constexpr int kDelete = 32772;
inline constexpr int kExit = 32773;
inline constexpr int kRefresh = 32774;
inline constexpr int kDisconnect = 32775;
inline constexpr int kConnect = 32776;
inline constexpr int kQuickConnectBar = 32777;
inline constexpr int kDefault = 32778;
inline constexpr int kHelp = 32779;
inline constexpr int kWebsite = 32780;
inline constexpr int kAbout = 32783;
inline constexpr int kDownload = 32784;
inline constexpr int kQuickConnect = 32785;
inline constexpr int kStartBranch = 32788;
inline constexpr int kStopBranch = 32789;
inline constexpr int kStopDownload = 32792;
inline constexpr int kResumeDownload = 32795;
inline constexpr int kClearBrowsLog = 32796;
inline constexpr int kClearBranchLog = 32797;
inline constexpr int kStartDownload = 32798;
inline constexpr int kExecuteLocalFile = 32799;
inline constexpr int kToolBar = 59392;
inline constexpr int kStatusBar = 59393;
}  // namespace command
