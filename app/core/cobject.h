// Persistent objects of the list files: each class carries a name and a
// schema number that the archive writes before the first object of the
// class and checks when loading.
#pragma once

#include <cstdint>

class CArchive;

struct CRuntimeClass {
  const char* name;
  uint16_t schema;
};

class CObject {
 public:
  virtual ~CObject() = default;
  virtual const CRuntimeClass& GetRuntimeClass() const = 0;
  // One routine for both directions; CArchive::IsStoring() tells which.
  virtual void Serialize(CArchive& ar) = 0;
};
