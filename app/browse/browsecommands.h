// The commands on the selected row of the browse list. The frame routes
// the command ids to these; each does nothing without a selected row and
// shows its messages through the list's message seam.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

#include "listingstep.h"

class CSiteBrowsList;

// Delete, browse side: asks, stops and deletes the site's node (see
// RemoveTaskNode), then removes its record and subtree. False when nothing
// was deleted (no selection, Cancel, a Delete already waiting, or a node
// that would not stop).
bool DeleteSelectedSite(CSiteBrowsList& list);

// Lists the selected directory again (a file row is tried as a directory:
// the server's refusal tells the user). Returns listingstep's result, or
// NotAsked.
StepResult RefreshSelectedDirectory(CSiteBrowsList& list);

void ConnectSelectedSite(CSiteBrowsList& list);
void DisconnectSelectedSite(CSiteBrowsList& list);
void ClearSelectedSiteLog(CSiteBrowsList& list);

// What the download page of the new-task sheet is filled with before the
// frame opens the sheet on that page (command New).
struct DownloadRequest {
  QString url;
  uint32_t port = 0;
  QString user;
  QString pass;
  bool pasvmode = false;
  bool ascimode = false;
};
// The selected file's URL with its site's login; none for a directory, a
// site entry or no selection.
std::optional<DownloadRequest> DownloadSelectedFile(CSiteBrowsList& list);
