// The list file byte format, pinned by bytes written out by hand.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "core/carchive.h"
#include "core/ctreegridmodel.h"
#include "iteminfo.h"

namespace {

// Builds expected bytes: numbers little-endian, texts raw.
struct Bytes {
  QByteArray data;
  Bytes& b(uint8_t v) {
    data.append(static_cast<char>(v));
    return *this;
  }
  Bytes& w(uint16_t v) { return b(v & 0xFF).b(v >> 8); }
  Bytes& d(uint32_t v) { return w(v & 0xFFFF).w(v >> 16); }
  Bytes& s(const char* text) {
    data.append(text);
    return *this;
  }
  Bytes& newclass(const char* name) { return w(0xFFFF).w(1).w(static_cast<uint16_t>(strlen(name))).s(name); }
  // An item data record with only its text set.
  Bytes& info(const char* text) {
    w(0).w(0).d(0).d(0xFFFFFFFF).d(0xFFFFFFFF).d(1).d(0);
    return b(static_cast<uint8_t>(strlen(text))).s(text);
  }
};

QByteArray Stored(const std::function<void(CArchive&)>& write) {
  CArchive ar;
  write(ar);
  return ar.Bytes();
}

class CTestLeaf : public CObject {
 public:
  static constexpr CRuntimeClass classinfo{"CTestLeaf", 1};
  const CRuntimeClass& GetRuntimeClass() const override { return classinfo; }
  void Serialize(CArchive&) override {}
};

class CTestOther : public CTestLeaf {
 public:
  static constexpr CRuntimeClass classinfo{"CTestOther", 1};
  const CRuntimeClass& GetRuntimeClass() const override { return classinfo; }
};

TEST(Archive, WideTextsLoadAsUtf8) {
  // "hé" in 16-bit characters, short and in the long length form.
  CArchive in(Bytes().b(0xFF).w(0xFFFE).b(2).w('h').w(0xE9).b(0xFF).w(0xFFFE).b(0xFF).w(2).w('o').w('k').data);
  EXPECT_EQ(in.ReadText(), QByteArray("h\xC3\xA9"));
  EXPECT_EQ(in.ReadText(), QByteArray("ok"));
}

// A root with one shown child: a new class, a class back reference, a back
// reference to the parent object, "no object", and item data of both kinds.
TEST(Archive, TreeBlockHasTheExactBytes) {
  CTreeGridModel model;
  CTreeItem* root = model.InsertRootItem(Info("a"));
  model.InsertItem(root, Info("b"), true);
  // An item: child count, children, 1 (collapsed), parent, data, row,
  // indent, child hint.
  Bytes expected;
  expected.d(1).newclass("CTreeItem").w(1);  // one root: class 1, the root 2, one child
  expected.w(0x8001).w(0).d(1).w(2);         // the child, 3, below object 2
  expected.newclass("CItemInfo").info("b");  // class 4, the child's data 5
  expected.d(1).d(2).d(0xFFFFFFFF);
  expected.d(1).w(0);            // the root again: collapsed, no parent
  expected.w(0x8004).info("a");  // its data, 6
  expected.d(0).d(1).d(0xFFFFFFFF);
  EXPECT_EQ(Stored([&](CArchive& ar) { model.Serialize(ar); }).toHex(' '), expected.data.toHex(' '));
}

TEST(Archive, BigIndicesUseTheLongForms) {
  std::vector<std::unique_ptr<CTestLeaf>> leaves;
  for (int i = 0; i < 0x7FFE; ++i) leaves.push_back(std::make_unique<CTestLeaf>());  // indices 2..0x7FFF
  CTestOther first, second;
  const QByteArray bytes = Stored([&](CArchive& ar) {
    for (auto& leaf : leaves) ar.WriteObject(leaf.get());
    ar.WriteObject(leaves[0x7FFC].get());  // index 0x7FFE
    ar.WriteObject(leaves[0x7FFD].get());  // index 0x7FFF
    ar.WriteObject(&first);                // class 0x8000, object 0x8001
    ar.WriteObject(&second);               // class back reference 0x8000
  });
  const QByteArray tail = Bytes().w(0x7FFE).w(0x7FFF).d(0x7FFF).newclass("CTestOther").w(0x7FFF).d(0x80008000).data;
  EXPECT_EQ(bytes.right(tail.size()).toHex(' '), tail.toHex(' '));

  CArchive in(bytes);
  std::vector<std::unique_ptr<CTestLeaf>> loaded;
  for (int i = 0; i < 0x7FFE; ++i) loaded.push_back(in.ReadOwned<CTestLeaf>());
  EXPECT_EQ(in.ReadReference<CTestLeaf>(), loaded[0x7FFC].get());
  EXPECT_EQ(in.ReadReference<CTestLeaf>(), loaded[0x7FFD].get());
  EXPECT_NE(in.ReadOwned<CTestOther>(), nullptr);
  EXPECT_NE(in.ReadOwned<CTestOther>(), nullptr);
  EXPECT_TRUE(in.AtEnd());
}

// A root whose only child has an only child, `depth` times.
QByteArray Nested(int depth) {
  Bytes bytes;
  bytes.d(1).newclass("CTreeItem").w(1);
  for (int i = 0; i < depth; ++i) bytes.w(0x8001).w(1);
  return bytes.data;
}

TEST(Archive, DamagedFilesFailWithTheirCause) {
  const auto item = [](Bytes& b) -> Bytes& { return b.w(0).d(1).w(0); };  // no children, collapsed, no parent
  struct Case {
    const char* name;
    QByteArray bytes;
    CArchiveException::Cause cause;
  } cases[] = {
      {"no root count", Bytes().w(1).data, CArchiveException::EndOfFile},
      {"schema 2", Bytes().d(1).w(0xFFFF).w(2).w(9).s("CTreeItem").data, CArchiveException::BadSchema},
      {"other class", Bytes().d(1).newclass("CItemInfo").data, CArchiveException::BadClass},
      {"unknown class", Bytes().d(1).newclass("CSomething").data, CArchiveException::BadClass},
      {"index outside the map", Bytes().d(1).w(0x0009).data, CArchiveException::BadReference},
      {"class tag naming an object",
       item(Bytes().d(2).newclass("CTreeItem")).newclass("CItemInfo").info("a").d(0).d(1).d(0).w(0x8002).data,
       CArchiveException::BadReference},
      {"data of the wrong class", item(Bytes().d(1).newclass("CTreeItem")).w(0x8001).data, CArchiveException::BadClass},
      {"child owned twice (a cycle)", Bytes().d(1).newclass("CTreeItem").w(1).w(2).data,
       CArchiveException::BadReference},
      {"parent that is a new object", Bytes().d(1).newclass("CTreeItem").w(0).d(1).w(0x8001).data,
       CArchiveException::BadReference},
      {"long text cut short", Bytes().b(0xFF).w(0xFFFF).d(0x7FFFFFFF).s("abc").data, CArchiveException::EndOfFile},
      {"nesting deeper than any list", Nested(5000), CArchiveException::TooDeep},
  };
  for (const Case& c : cases) {
    CArchive in(c.bytes);
    CTreeGridModel model;
    try {
      if (c.bytes.startsWith('\xFF'))
        in.ReadText();
      else
        model.Serialize(in);
      ADD_FAILURE() << c.name << " loaded";
    } catch (const CArchiveException& error) {
      EXPECT_EQ(error.GetCause(), c.cause) << c.name;
    }
  }
}

TEST(Archive, TruncatedFileKeepsTheRootsReadWhole) {
  CTreeGridModel model;
  CTreeItem* first = model.InsertRootItem(Info("first"));
  model.InsertItem(first, Info("child"), false);
  const QByteArray one = Stored([&](CArchive& ar) { model.Serialize(ar); });
  model.InsertRootItem(Info("second"));
  const QByteArray both = Stored([&](CArchive& ar) { model.Serialize(ar); });
  ASSERT_EQ(both.left(4), Bytes().d(2).data);
  for (qsizetype cut = 0; cut < both.size(); ++cut) {
    CTreeGridModel loaded;
    CArchive in(both.left(cut));
    EXPECT_THROW(loaded.Serialize(in), CArchiveException) << cut;
    EXPECT_EQ(loaded.rowCount(), cut >= one.size() ? 1 : 0) << cut;
  }
}

}  // namespace
