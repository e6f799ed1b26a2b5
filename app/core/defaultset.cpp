#include "defaultset.h"

#include "messageseam.h"
#include "savedirectory.h"
#include "settingsstore.h"

QString ReadDefaultSet(const CSettingsStore& store, CDefaultSetPages& pages) {
  QString olddirectory;
  if (store.ReadText(settingname::kLocalDir, olddirectory, kLocalDirBuffer)) pages.localdir = olddirectory;
  store.ReadFlag(settingname::kPasvMode, pages.pasvmode);
  store.ReadFlag(settingname::kAsciiMode, pages.ascimode);
  store.ReadFlag(settingname::kCheckClip, pages.checkclip);
  store.ReadNumber(settingname::kBranchCount, pages.branchcount);
  store.ReadNumber(settingname::kMaxIdleTime, pages.idleseconds);
  return olddirectory;
}

bool SaveDefaultSet(CSettingsStore& store, const CDefaultSetPages& pages, const QString& olddirectory,
                    const QString& programdirectory, CMessageSeam& messages) {
  if (!store.CanWrite()) return false;
  if (pages.localdir != olddirectory) {
    if (ProbeSaveDirectory(pages.localdir, programdirectory))
      store.WriteText(settingname::kLocalDir, pages.localdir);
    else
      messages.Notice(QStringLiteral("Can't Create The Directory!"));
  }
  store.WriteFlag(settingname::kPasvMode, pages.pasvmode);
  store.WriteFlag(settingname::kAsciiMode, pages.ascimode);
  store.WriteFlag(settingname::kCheckClip, pages.checkclip);
  store.WriteNumber(settingname::kBranchCount, pages.branchcount);
  store.WriteNumber(settingname::kMaxIdleTime, pages.idleseconds);
  return store.Flush();
}

bool ParseRangedNumber(const QString& text, uint32_t low, uint32_t high, uint32_t& value) {
  const QString trimmed = text.trimmed();
  if (trimmed.isEmpty()) return false;
  for (QChar c : trimmed)
    if (!c.isDigit() || c.unicode() > '9') return false;
  bool ok = false;
  const qulonglong number = trimmed.toULongLong(&ok);
  if (!ok || number < low || number > high) return false;
  value = static_cast<uint32_t>(number);
  return true;
}

QString RangeMessage(uint32_t low, uint32_t high) {
  return QStringLiteral("Please enter a whole number between %1 and %2.").arg(low).arg(high);
}
