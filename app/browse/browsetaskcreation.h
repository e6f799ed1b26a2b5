// The browse half of task creation: what a node that addnode made for a
// site URL (result 0) becomes in the browse list.
#pragma once

#include <QString>

class CBrowsRootAppend;
class CSiteBrowsList;

// Adds the site entry (server name; image online or offline as the node
// is) and its record (the URL as typed; login, modes and port as the engine
// holds them) at the end of the list.
CBrowsRootAppend& CreateBrowseTask(CSiteBrowsList& list, void* node, const QString& url);
