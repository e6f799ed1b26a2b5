// The browse half of task creation: what a node that addnode made for a
// site URL (result 0) becomes in the browse list.
#pragma once

#include <QString>

#include <string>

class CBrowsRootAppend;
class CSiteBrowsList;

// A new site row's text: the server (an IPv6 one in brackets), with the
// user unless anonymous (none or "anonymous" in any case) and the port
// unless 21: "alice@127.0.0.1:2132", "[::1]:2132". Rows loaded from a list
// file keep the text they were stored with.
QString SiteLabel(const std::string& server, unsigned port, const std::string& user);

// Adds the site entry (SiteLabel; image online or offline as the node is)
// and its record (the URL as typed; login, modes and port as the engine
// holds them) at the end of the list.
CBrowsRootAppend& CreateBrowseTask(CSiteBrowsList& list, void* node, const QString& url);

// The site whose node reaches the same server (in any case), port and
// user as `node`, over the same scheme; an anonymous user matches any
// other spelling of one.
CBrowsRootAppend* FindSiteFor(const CSiteBrowsList& list, void* node);

// A site asked for again (quick connect, the sheet) is not listed twice:
// the site FindSiteFor names is selected and takes the new login. When it
// is connected it keeps its connection and `node` goes; else it goes on
// with `node`, which connects as the request asked. Any other node gets a
// new row (CreateBrowseTask).
CBrowsRootAppend& OpenBrowseTask(CSiteBrowsList& list, void* node, const QString& url);
