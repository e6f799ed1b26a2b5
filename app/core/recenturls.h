// The recent URL history: URLs each followed by "\r\n", newest first, kept
// short enough to be read back (see kRecentUrlBuffer).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class CSettingsStore;

// The history with `url` put at its head; an earlier copy of it removed.
// The oldest entries are dropped whole to make room. A URL too long to be stored with any history leaves it as it is.
QByteArray PrependRecentUrl(QByteArray history, const QByteArray& url);

// Puts a URL at the head of the stored history; an empty URL does nothing.
void addrecenturl(CSettingsStore& store, const QString& url);
// Empties the stored history at once.
void ClearRecentUrls(CSettingsStore& store);
// The stored history, newest first.
QStringList RecentUrls(const CSettingsStore& store);
