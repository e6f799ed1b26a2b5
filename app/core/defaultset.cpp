#include "defaultset.h"

#include "lark.h"
#include "messageseam.h"
#include "newtaskfields.h"
#include "savedirectory.h"
#include "settingsstore.h"

QString ReadDefaultSet(const CSettingsStore& store, CDefaultSetPages& pages) {
  QString olddirectory;
  if (store.ReadText(settingname::kLocalDir, olddirectory, kLocalDirBuffer)) pages.localdir = olddirectory;
  store.ReadFlag(settingname::kPasvMode, pages.pasvmode);
  store.ReadFlag(settingname::kAsciiMode, pages.ascimode);
  store.ReadFlag(settingname::kCheckClip, pages.checkclip);
  store.ReadFlag(settingname::kNotify, pages.notify);
  store.ReadNumber(settingname::kBranchCount, pages.branchcount);
  store.ReadNumber(settingname::kMaxIdleTime, pages.idleseconds);
  store.ReadText(settingname::kCaCertificate, pages.cacertificate, kCaCertificateBuffer);
  return olddirectory;
}

CDefaultSetPages StoredDefaultSet(const CSettingsStore& store) {
  CDefaultSetPages pages;
  ReadDefaultSet(store, pages);
  return pages;
}

void FollowDefaultSet(CNewTaskPages& pages, const CDefaultSetPages& defaults) {
  for (CBrowsFields* fields : {static_cast<CBrowsFields*>(&pages.brows), static_cast<CBrowsFields*>(&pages.download)}) {
    fields->pasvmode.Follow(defaults.pasvmode);
    fields->ascimode.Follow(defaults.ascimode);
  }
  pages.download.savedir.Follow(defaults.localdir);
  pages.download.branches.Follow(defaults.branchcount);
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
  store.WriteFlag(settingname::kNotify, pages.notify);
  store.WriteNumber(settingname::kBranchCount, pages.branchcount);
  store.WriteNumber(settingname::kMaxIdleTime, pages.idleseconds);
  // Kept even when it does not load, so the user can correct it.
  store.WriteText(settingname::kCaCertificate, pages.cacertificate);
  if (!ApplyCaCertificate(pages.cacertificate))
    messages.Notice(QStringLiteral("Can't load the CA certificate file %1").arg(pages.cacertificate));
  return store.Flush();
}

bool ApplyCaCertificate(const QString& file) {
  return lark::settlsoptions(file.trimmed().toLocal8Bit().toStdString(), 1) == 0;
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
