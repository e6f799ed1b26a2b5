#include "recenturls.h"

#include "settingsstore.h"
#include "urlcredentials.h"

namespace {

const QByteArray kLineEnd = QByteArrayLiteral("\r\n");
// The longest history that still fits the read buffer with its terminator.
constexpr qsizetype kMaxHistory = kRecentUrlBuffer - 1;

}  // namespace

QByteArray PrependRecentUrl(QByteArray history, const QByteArray& url) {
  const qsizetype room = kMaxHistory - url.size() - kLineEnd.size();
  if (url.isEmpty() || room < 0) return history;
  const QByteArray line = url + kLineEnd;
  if (const qsizetype at = history.indexOf(kLineEnd + line); at >= 0)
    history.remove(at + kLineEnd.size(), line.size());
  else if (history.startsWith(line))
    history.remove(0, line.size());
  // Older entries go whole: a cut URL would be offered, and completed, as
  // if it were one the user typed.
  if (history.size() > room) {
    const qsizetype end = room >= kLineEnd.size() ? history.lastIndexOf(kLineEnd, room - kLineEnd.size()) : -1;
    history.truncate(end < 0 ? 0 : end + kLineEnd.size());
  }
  return line + history;
}

void addrecenturl(CSettingsStore& store, const QString& url) {
  if (url.isEmpty() || !store.CanWrite()) return;
  QString history;
  store.ReadText(settingname::kRecentUrl, history, kRecentUrlBuffer);
  const QByteArray updated = PrependRecentUrl(history.toUtf8(), WithoutUrlCredentials(url).toUtf8());
  store.WriteText(settingname::kRecentUrl, QString::fromUtf8(updated));
  store.Flush();
}

void ClearRecentUrls(CSettingsStore& store) {
  if (!store.WriteText(settingname::kRecentUrl, QString())) return;
  store.Flush();
}

QStringList RecentUrls(const CSettingsStore& store) {
  QString history;
  store.ReadText(settingname::kRecentUrl, history, kRecentUrlBuffer);
  // A history stored cut short by an earlier version ends inside a URL.
  if (!history.endsWith(QStringLiteral("\r\n"))) history.truncate(history.lastIndexOf(QStringLiteral("\r\n")) + 2);
  return history.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}
