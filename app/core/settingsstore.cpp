#include "settingsstore.h"

CSettingsStore::CSettingsStore()
    : m_settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Tamberly"), QStringLiteral("skylark")) {}

bool CSettingsStore::ReadUnsigned(const char* name, uint32_t& value) const {
  const QVariant stored = m_settings.value(QLatin1String(name));
  if (!stored.isValid()) return false;
  bool ok = false;
  const qulonglong number = stored.toString().trimmed().toULongLong(&ok);
  if (!ok || number > 0xFFFFFFFFull) return false;
  value = static_cast<uint32_t>(number);
  return true;
}

bool CSettingsStore::ReadFlag(const char* name, bool& value) const {
  uint32_t number = 0;
  if (!ReadUnsigned(name, number)) return false;
  value = number != 0;
  return true;
}

bool CSettingsStore::ReadNumber(const char* name, uint32_t& value) const { return ReadUnsigned(name, value); }

bool CSettingsStore::ReadText(const char* name, QString& value, int buffer) const {
  const QVariant stored = m_settings.value(QLatin1String(name));
  if (!stored.isValid()) return false;
  const QString text = stored.toString();
  if (text.toUtf8().size() + 1 > buffer) return false;
  value = text;
  return true;
}

bool CSettingsStore::CanWrite() const { return m_settings.isWritable(); }

bool CSettingsStore::WriteFlag(const char* name, bool value) { return WriteNumber(name, value ? 1 : 0); }

bool CSettingsStore::WriteNumber(const char* name, uint32_t value) {
  if (!CanWrite()) return false;
  m_settings.setValue(QLatin1String(name), static_cast<qulonglong>(value));
  return true;
}

bool CSettingsStore::WriteText(const char* name, const QString& value) {
  if (!CanWrite()) return false;
  m_settings.setValue(QLatin1String(name), value);
  return true;
}

bool CSettingsStore::Flush() {
  m_settings.sync();
  return m_settings.status() == QSettings::NoError;
}
