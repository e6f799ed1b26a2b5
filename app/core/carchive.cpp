#include "carchive.h"

#include <utility>

namespace {

constexpr uint16_t kNullTag = 0;
constexpr uint16_t kNewClassTag = 0xFFFF;
constexpr uint16_t kClassTag = 0x8000;
constexpr uint16_t kBigObjectTag = 0x7FFF;
constexpr uint32_t kBigClassTag = 0x80000000;
constexpr uint32_t kMaxMapCount = 0x3FFFFFFE;
// Deep enough for any directory tree a site shows; shallow enough that a
// damaged file cannot exhaust the stack.
constexpr int kMaxDepth = 2000;

}  // namespace

CArchive::CArchive() : m_storing(true) {}

CArchive::CArchive(QByteArray contents) : m_storing(false), m_bytes(std::move(contents)) {
  m_loaded.push_back({false, {}, nullptr});  // index 0: no object
}

void CArchive::Fail(CArchiveException::Cause cause, const char* what) const {
  throw CArchiveException(cause, what, m_pos);
}

void CArchive::Need(qsizetype count) const {
  if (count < 0 || count > m_bytes.size() - m_pos) Fail(CArchiveException::EndOfFile, "end of file");
}

void CArchive::WriteByte(uint8_t value) { m_bytes.append(static_cast<char>(value)); }

void CArchive::WriteWord(uint16_t value) {
  WriteByte(value & 0xFF);
  WriteByte(value >> 8);
}

void CArchive::WriteDword(uint32_t value) {
  WriteWord(value & 0xFFFF);
  WriteWord(value >> 16);
}

uint8_t CArchive::ReadByte() {
  Need(1);
  return static_cast<uint8_t>(m_bytes[m_pos++]);
}

uint16_t CArchive::ReadWord() {
  const uint16_t low = ReadByte();
  return static_cast<uint16_t>(low | (ReadByte() << 8));
}

uint32_t CArchive::ReadDword() {
  const uint32_t low = ReadWord();
  return low | (static_cast<uint32_t>(ReadWord()) << 16);
}

void CArchive::WriteCount(uint32_t count) {
  if (count < 0xFFFF) {
    WriteWord(static_cast<uint16_t>(count));
  } else {
    WriteWord(0xFFFF);
    WriteDword(count);
  }
}

uint32_t CArchive::ReadCount() {
  const uint16_t count = ReadWord();
  return count == 0xFFFF ? ReadDword() : count;
}

void CArchive::WriteText(const QByteArray& text) {
  const auto length = static_cast<uint32_t>(text.size());
  if (length < 0xFF) {
    WriteByte(static_cast<uint8_t>(length));
  } else if (length < 0xFFFE) {
    WriteByte(0xFF);
    WriteWord(static_cast<uint16_t>(length));
  } else {
    WriteByte(0xFF);
    WriteWord(0xFFFF);
    WriteDword(length);
  }
  m_bytes.append(text);
}

uint32_t CArchive::ReadLength(bool& wide) {
  const uint8_t shortlength = ReadByte();
  if (shortlength < 0xFF) return shortlength;
  const uint16_t length = ReadWord();
  if (length == 0xFFFE) {
    // The marker of a 16-bit-character text; its length follows.
    if (wide) Fail(CArchiveException::BadReference, "repeated wide text marker");
    wide = true;
    return ReadLength(wide);
  }
  return length < 0xFFFF ? length : ReadDword();
}

QByteArray CArchive::ReadText() {
  bool wide = false;
  const uint32_t length = ReadLength(wide);
  const qsizetype bytes = static_cast<qsizetype>(length) * (wide ? 2 : 1);
  Need(bytes);
  QByteArray raw = m_bytes.mid(m_pos, bytes);
  m_pos += bytes;
  if (!wide) return raw;
  QString text;
  text.reserve(length);
  for (uint32_t i = 0; i < length; ++i) {
    const auto low = static_cast<uint8_t>(raw[2 * i]);
    const auto high = static_cast<uint8_t>(raw[2 * i + 1]);
    text.append(QChar(static_cast<char16_t>(low | (high << 8))));
  }
  return text.toUtf8();
}

uint32_t CArchive::NextIndex() {
  if (m_mapcount > kMaxMapCount) Fail(CArchiveException::TooManyObjects, "too many objects");
  return m_mapcount++;
}

void CArchive::WriteIndexTag(uint32_t index, bool isclass) {
  if (index < kBigObjectTag) {
    WriteWord(static_cast<uint16_t>(index | (isclass ? kClassTag : 0)));
  } else {
    WriteWord(kBigObjectTag);
    WriteDword(index | (isclass ? kBigClassTag : 0));
  }
}

void CArchive::WriteObject(CObject* object) {
  if (!object) {
    WriteWord(kNullTag);
    return;
  }
  if (auto found = m_storedobjects.find(object); found != m_storedobjects.end()) {
    WriteIndexTag(found->second, false);
    return;
  }
  const CRuntimeClass& cls = object->GetRuntimeClass();
  if (auto found = m_storedclasses.find(cls.name); found != m_storedclasses.end()) {
    WriteIndexTag(found->second, true);
  } else {
    const std::string name = cls.name;
    WriteWord(kNewClassTag);
    WriteWord(cls.schema);
    WriteWord(static_cast<uint16_t>(name.size()));
    m_bytes.append(name.data(), static_cast<qsizetype>(name.size()));
    m_storedclasses.emplace(name, NextIndex());
  }
  m_storedobjects.emplace(object, NextIndex());
  object->Serialize(*this);
}

CArchive::Tag CArchive::ReadObjectTag(const CRuntimeClass& expected) {
  const uint16_t tag = ReadWord();
  if (tag == kNullTag) return Tag::Null;
  if (tag == kNewClassTag) {
    const uint16_t schema = ReadWord();
    const uint16_t length = ReadWord();
    Need(length);
    const std::string name(m_bytes.constData() + m_pos, length);
    m_pos += length;
    if (name != expected.name) Fail(CArchiveException::BadClass, "unexpected class");
    if (schema != expected.schema) Fail(CArchiveException::BadSchema, "unexpected schema");
    NextIndex();
    m_loaded.push_back({true, name, nullptr});
    return Tag::New;
  }
  uint32_t index;
  bool isclass;
  if (tag == kBigObjectTag) {
    const uint32_t big = ReadDword();
    isclass = (big & kBigClassTag) != 0;
    index = big & ~kBigClassTag;
  } else {
    isclass = (tag & kClassTag) != 0;
    index = tag & ~kClassTag;
  }
  if (index == 0 || index >= m_loaded.size() || m_loaded[index].isclass != isclass)
    Fail(CArchiveException::BadReference, "reference outside the map");
  if (m_loaded[index].classname != expected.name) Fail(CArchiveException::BadClass, "unexpected class");
  if (isclass) return Tag::New;
  m_lastback = m_loaded[index].object;
  return Tag::Back;
}

void CArchive::LoadNewObject(CObject& object) {
  if (m_depth >= kMaxDepth) Fail(CArchiveException::TooDeep, "objects nested too deeply");
  NextIndex();
  m_loaded.push_back({false, object.GetRuntimeClass().name, &object});
  ++m_depth;
  object.Serialize(*this);
  --m_depth;
}

void CArchive::Exchange(uint32_t& value) {
  if (m_storing)
    WriteDword(value);
  else
    value = ReadDword();
}

void CArchive::Exchange(int32_t& value) {
  if (m_storing)
    WriteDword(static_cast<uint32_t>(value));
  else
    value = static_cast<int32_t>(ReadDword());
}

void CArchive::Exchange(QString& text) {
  if (m_storing)
    WriteString(text);
  else
    text = ReadString();
}

void CArchive::Exchange(QStringList& texts) {
  if (m_storing) {
    WriteCount(static_cast<uint32_t>(texts.size()));
    for (const QString& text : texts) WriteString(text);
    return;
  }
  texts.clear();
  for (uint32_t i = 0, count = ReadCount(); i < count; ++i) texts.append(ReadString());
}

void CArchive::Exchange(std::vector<uint32_t>& values) {
  if (m_storing) {
    WriteCount(static_cast<uint32_t>(values.size()));
    for (uint32_t value : values) WriteDword(value);
    return;
  }
  values.clear();
  const uint32_t count = ReadCount();
  Need(static_cast<qsizetype>(count) * 4);
  for (uint32_t i = 0; i < count; ++i) values.push_back(ReadDword());
}

void CArchive::Exchange(std::map<uint32_t, uint32_t>& map) {
  if (m_storing) {
    WriteCount(static_cast<uint32_t>(map.size()));
    for (const auto& [key, value] : map) {
      WriteDword(key);
      WriteDword(value);
    }
    return;
  }
  map.clear();
  for (uint32_t i = 0, count = ReadCount(); i < count; ++i) {
    const uint32_t key = ReadDword();
    map[key] = ReadDword();
  }
}
