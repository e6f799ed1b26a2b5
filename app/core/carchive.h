// The byte format of the list files: the classic persistent-object archive,
// little-endian, so that list files move between this program and the one
// that first defined the format.
//
// Object references share one running index (from 1) between class records
// and objects. A loaded object enters the index before its fields are read,
// so a child's reference back to its parent resolves to the parent itself.
// Loading hands out ownership only for new objects: a slot that owns its
// object (ReadOwned) refuses a back reference, and a slot that only points
// (ReadReference) refuses a new object, so no damaged file can make two
// owners share one object.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "cobject.h"

class CArchiveException : public std::runtime_error {
 public:
  enum Cause {
    EndOfFile,
    BadSchema,     // a class record whose schema differs from the class's
    BadClass,      // a class other than the one expected at that place
    BadReference,  // an unknown tag, an index outside the map or of the wrong kind
    TooDeep,       // objects nested deeper than any list could be
    TooManyObjects,
    BadValue,  // a field no sound file holds, such as more branches than a task can have
  };
  CArchiveException(Cause cause, const char* what, qsizetype offset = 0)
      : std::runtime_error(what), m_cause(cause), m_offset(offset) {}
  Cause GetCause() const { return m_cause; }
  // Where in the file reading stopped.
  qsizetype Offset() const { return m_offset; }

 private:
  Cause m_cause;
  qsizetype m_offset;
};

class CArchive {
 public:
  CArchive();                              // storing into memory
  explicit CArchive(QByteArray contents);  // loading from memory

  bool IsStoring() const { return m_storing; }
  bool IsLoading() const { return !m_storing; }
  const QByteArray& Bytes() const { return m_bytes; }
  bool AtEnd() const { return m_pos >= m_bytes.size(); }

  void WriteByte(uint8_t value);
  void WriteWord(uint16_t value);
  void WriteDword(uint32_t value);
  void WriteCount(uint32_t count);
  void WriteText(const QByteArray& text);
  void WriteString(const QString& text) { WriteText(text.toUtf8()); }
  void WriteObject(CObject* object);

  uint8_t ReadByte();
  uint16_t ReadWord();
  uint32_t ReadDword();
  uint32_t ReadCount();
  QByteArray ReadText();  // a 16-bit-character text comes back as UTF-8
  QString ReadString() { return QString::fromUtf8(ReadText()); }

  // A new object for a slot that owns it; none for "no object".
  template <class T>
  std::unique_ptr<T> ReadOwned() {
    switch (ReadObjectTag(T::classinfo)) {
      case Tag::Null:
        return nullptr;
      case Tag::Back:
        Fail(CArchiveException::BadReference, "an object owned twice");
      case Tag::New:
        break;
    }
    auto object = std::make_unique<T>();
    LoadNewObject(*object);
    return object;
  }

  // An object already loaded, for a slot that only points at it.
  template <class T>
  T* ReadReference() {
    switch (ReadObjectTag(T::classinfo)) {
      case Tag::Null:
        return nullptr;
      case Tag::Back:
        return static_cast<T*>(m_lastback);
      case Tag::New:
        break;
    }
    Fail(CArchiveException::BadReference, "a new object where a reference was expected");
  }

  [[noreturn]] void Fail(CArchiveException::Cause cause, const char* what) const;

  // Both directions in one call, for Serialize routines.
  void Exchange(uint32_t& value);
  void Exchange(int32_t& value);
  void Exchange(QString& text);
  void Exchange(QStringList& texts);
  void Exchange(std::vector<uint32_t>& values);
  void Exchange(std::map<uint32_t, uint32_t>& map);

 private:
  enum class Tag { Null, Back, New };
  struct Entry {
    bool isclass;
    std::string classname;
    CObject* object;
  };

  void Need(qsizetype count) const;
  uint32_t ReadLength(bool& wide);
  Tag ReadObjectTag(const CRuntimeClass& expected);
  void LoadNewObject(CObject& object);
  uint32_t NextIndex();
  void WriteIndexTag(uint32_t index, bool isclass);

  bool m_storing;
  QByteArray m_bytes;
  qsizetype m_pos = 0;
  uint32_t m_mapcount = 1;
  int m_depth = 0;
  // Loading: index -> class or object. Storing: what is already written.
  std::vector<Entry> m_loaded;
  CObject* m_lastback = nullptr;
  std::unordered_map<const CObject*, uint32_t> m_storedobjects;
  std::unordered_map<std::string, uint32_t> m_storedclasses;
};
