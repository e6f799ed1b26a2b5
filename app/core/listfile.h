// Reading and writing a whole list file through one archive.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

#include "carchive.h"

class CMessageSeam;

// Reads the file whole. A missing file is created empty (readable and
// writable by the owner only, as the lists hold passwords). False when it
// can neither be opened nor created.
bool ReadListFile(const QString& path, QByteArray& contents);

// Replaces the file without a window in which it is cut short: a temporary
// file in the same folder is written, flushed to disk and renamed over it.
bool WriteListFile(const QString& path, const QByteArray& contents);

// DamagedNotKept: the damaged file could not be copied aside, so the caller
// must never write over it.
enum class ListFileLoad { Loaded, Damaged, DamagedNotKept, CouldNotOpen };
// ReadOnly neither creates a missing file (it loads as empty) nor copies a
// damaged one: a listing leaves no trace.
enum class ListFileAccess { ReadWrite, ReadOnly };
using ListFileSerializer = std::function<void(CArchive&)>;

// Runs `serialize` over the file's archive. On a damaged file what was read
// so far stays, the archive's complaint is put in `damage`, the file is
// copied aside (see DamagedCopyPath) and one notice names the file and the
// offset; a file that cannot be opened or created shows "Could not create
// file!".
ListFileLoad LoadListFile(const QString& path, const ListFileSerializer& serialize, CMessageSeam& messages,
                          std::optional<CArchiveException>* damage = nullptr,
                          ListFileAccess access = ListFileAccess::ReadWrite);

// "<path>.damaged-YYYYmmdd-HHMMSS", with "-2", "-3"... when that is taken.
QString DamagedCopyPath(const QString& path);
// False when a load's result forbids writing the file back.
inline bool MayWriteBack(ListFileLoad result) { return result != ListFileLoad::DamagedNotKept; }
// False (after "Could not create file!") when nothing could be written.
bool SaveListFile(const QString& path, const ListFileSerializer& serialize, CMessageSeam& messages);
