// The "Default set" command without its window: the fields of its three
// pages, how they are filled from the store and how they are saved.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>

class CMessageSeam;
class CSettingsStore;
struct CNewTaskPages;

// The fields of the pages. The frame keeps one for its whole life, so a
// value missing from the store shows what the sheet left last time.
struct CDefaultSetPages {
  uint32_t idleseconds = 0;  // "Default brows set"
  QString localdir;          // "Default download set"
  uint32_t branchcount = 1;
  bool checkclip = true;  // "Others"
  bool notify = true;
  bool pasvmode = true;  // active mode fails behind most NATs and firewalls
  bool ascimode = false;
  QString cacertificate;
};

inline constexpr uint32_t kMinBranchCount = 1;
inline constexpr uint32_t kMaxBranchCount = 100;
inline constexpr uint32_t kMaxIdleSeconds = 4294967295u;

// Fills the pages from the values present in the store; returns the stored
// save directory (empty when missing) to compare with after the sheet.
QString ReadDefaultSet(const CSettingsStore& store, CDefaultSetPages& pages);

// The default set as stored, each missing value at its first-run default.
CDefaultSetPages StoredDefaultSet(const CSettingsStore& store);

// The fields of the new-task sheet that nobody set in this session take
// the default set; those set to what it holds follow it from now on.
void FollowDefaultSet(CNewTaskPages& pages, const CDefaultSetPages& defaults);

// Asks the user for a directory, starting at `start`; empty when cancelled.
// The save-directory fields of both sheets ask through one, so tests can
// answer without a dialog.
using DirectoryChooser = std::function<QString(const QString& start)>;

// Saves the confirmed pages. A changed save directory is probed first and
// kept only when it could be created; every other value is saved anyway.
// False when the store could not be written at all.
bool SaveDefaultSet(CSettingsStore& store, const CDefaultSetPages& pages, const QString& olddirectory,
                    const QString& programdirectory, CMessageSeam& messages);

// Hands the CA file to the engine; false when it cannot be loaded.
bool ApplyCaCertificate(const QString& file);

// Parses a whole unsigned decimal number within [low, high].
bool ParseRangedNumber(const QString& text, uint32_t low, uint32_t high, uint32_t& value);
QString RangeMessage(uint32_t low, uint32_t high);
