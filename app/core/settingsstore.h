// The per-user settings: an INI file for organisation "Tamberly",
// application "skylark" (~/.config/Tamberly/skylark.ini).
//
// There is deliberately no table of defaults: each reader passes its own
// initial value, which stays when the value is missing or unreadable, so
// one missing flag can read differently in different places.
#pragma once

#include <QSettings>
#include <QString>

#include <cstdint>

namespace settingname {
inline constexpr char kLocalDir[] = "localdir";
inline constexpr char kBranchCount[] = "branchcount";
inline constexpr char kPasvMode[] = "pasvmode";
inline constexpr char kAsciiMode[] = "ascimode";
inline constexpr char kCheckClip[] = "checkclip";
inline constexpr char kMaxIdleTime[] = "maxidletime";
inline constexpr char kRecentUrl[] = "recenturl";
inline constexpr char kWindowWidth[] = "windowwidth";
inline constexpr char kWindowHeight[] = "windowheight";
inline constexpr char kWidth[] = "width";
inline constexpr char kHeight[] = "height";
inline constexpr char kLeftWidth[] = "leftwidth";
inline constexpr char kLeftHeight[] = "leftheight";
inline constexpr char kRightHeight[] = "rightheight";
// Seconds a connect may take, and a connection may stay silent while a
// reply or data is awaited (defaults 30 and 60).
inline constexpr char kConnectTimeout[] = "connecttimeout";
inline constexpr char kIdleTimeout[] = "idletimeout";
// FTP data connections by EPSV and EPRT on IPv4 too (flag, default off;
// IPv6 always uses them).
inline constexpr char kExtendedPassive[] = "epsv";
// A CA certificate file trusted besides the system's store ("" none).
inline constexpr char kCaCertificate[] = "cacertificate";
// The download tasks that ran when the program last closed, one per line.
inline constexpr char kResumeAtStart[] = "resumeatstart";
// Desktop notifications when a download ends (flag, default on).
inline constexpr char kNotify[] = "notify";
// The window's place and bars, and each list's column widths, as the
// toolkit saves them (base64).
inline constexpr char kWindowGeometry[] = "windowgeometry";
inline constexpr char kWindowState[] = "windowstate";
inline constexpr char kBrowseColumns[] = "browsecolumns";
inline constexpr char kDownloadColumns[] = "downloadcolumns";
}  // namespace settingname

// Texts are read into buffers of these sizes, the terminating zero
// included: a longer value is not read at all.
inline constexpr int kLocalDirBuffer = 256;
inline constexpr int kRecentUrlBuffer = 5000;
inline constexpr int kCaCertificateBuffer = 4096;
inline constexpr int kResumeAtStartBuffer = 1 << 20;
inline constexpr int kLayoutBuffer = 8192;

class CSettingsStore {
 public:
  CSettingsStore();

  // Flags are stored as 0 or 1 and read as on when nonzero; numbers are
  // unsigned 32-bit. Each read leaves `value` alone unless it succeeds.
  bool ReadFlag(const char* name, bool& value) const;
  bool ReadNumber(const char* name, uint32_t& value) const;
  bool ReadText(const char* name, QString& value, int buffer) const;

  // False when the store cannot be written; then nothing is.
  bool CanWrite() const;
  bool WriteFlag(const char* name, bool value);
  bool WriteNumber(const char* name, uint32_t value);
  bool WriteText(const char* name, const QString& value);
  // Puts the writes on disk; false when that failed.
  bool Flush();

 private:
  bool ReadUnsigned(const char* name, uint32_t& value) const;

  QSettings m_settings;
};
