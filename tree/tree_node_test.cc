#include "tree/tree_node.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace vard {
namespace {

TEST(TreeNodeTest, MissingNodesChainAndReadAsEmpty) {
  TreeSection root("config.cfg", true);
  EXPECT_EQ(root.Count(), 0);
  const TreeValue* missing = root.GetSection("ACCOUNTS")->GetSection("x")->GetValue("MapTo");
  EXPECT_EQ(missing, &TreeValue::Null);
  EXPECT_TRUE(missing->IsNull());
  EXPECT_TRUE(missing->IsValue());
  EXPECT_EQ(missing->GetInt(), 0);
  EXPECT_STREQ(missing->GetString(), "");
  EXPECT_EQ(missing->GetItemAt(1), &TreeItem::Null);
  EXPECT_EQ(TreeItem::Null.Type(), kNone);
  EXPECT_TRUE(TreeSection::Null.IsNull());
  EXPECT_FALSE(TreeSection::Null.IsValue());
  EXPECT_EQ(root.GetSectionAt(1), &TreeSection::Null);
  EXPECT_EQ(root.GetValueAt(-1), &TreeValue::Null);
}

// Page code chains changes onto failed lookups; none of them may alter a shared missing object.
TEST(TreeNodeTest, SharedMissingObjectsRefuseEveryChange) {
  TreeSection root("x");
  ASSERT_EQ(root.GetSection("none"), &TreeSection::Null);
  TreeSection& section = *root.GetSection("none");
  EXPECT_EQ(section.OpenSection("a"), nullptr);
  EXPECT_EQ(section.AddSection("a"), nullptr);
  EXPECT_EQ(section.OpenValue("a"), nullptr);
  EXPECT_EQ(section.AddInt("a", 1), nullptr);
  EXPECT_EQ(section.AddString("a", "t"), nullptr);
  EXPECT_EQ(section.SetInt("a", 1), 0);
  EXPECT_EQ(section.Add(std::make_unique<TreeSection>("a")), 0);
  EXPECT_EQ(section.SetName("renamed"), 0);
  EXPECT_EQ(section.LoadFile(), 0);
  EXPECT_EQ(section.SaveFile(), 0);

  TreeValue& value = TreeValue::Null;
  EXPECT_EQ(value.SetInt(5), 0);
  EXPECT_EQ(value.SetString("t"), 0);
  EXPECT_EQ(value.Add(TreeItem::MakeInt(1)), 0);
  EXPECT_EQ(value.SetName("v"), 0);
  EXPECT_EQ(TreeItem::Null.SetFromInt(3), 0);
  EXPECT_EQ(TreeItem::Null.SetText("t"), 0);
  EXPECT_EQ(TreeItem::Null.SetName("i"), 0);

  EXPECT_EQ(TreeSection::Null.Count(), 0);
  EXPECT_EQ(TreeSection::Null.GetName(), nullptr);
  EXPECT_EQ(TreeValue::Null.Count(), 0);
  EXPECT_EQ(TreeValue::Null.GetInt(), 0);

  // A copy of a missing object is just as inert.
  std::unique_ptr<NamedObject> copy = TreeSection::Null.Clone();
  auto* copied = static_cast<TreeSection*>(copy.get());
  EXPECT_TRUE(copied->IsNull());
  EXPECT_EQ(copied->OpenSection("a"), nullptr);
}

TEST(TreeNodeTest, SectionsAndValuesShareOneNamespace) {
  TreeSection root("r");
  TreeSection* users = root.OpenSection("Users");
  ASSERT_NE(users, nullptr);
  EXPECT_EQ(root.OpenSection("USERS"), users);
  EXPECT_EQ(root.Count(), 1);
  EXPECT_EQ(root.OpenValue("users"), nullptr);
  EXPECT_EQ(root.AddInt("USERS", 1), nullptr);
  EXPECT_EQ(root.SetInt("users", 1), 0);
  EXPECT_EQ(root.GetValue("users"), &TreeValue::Null);
  EXPECT_EQ(root.GetSection("uSERS"), users);

  ASSERT_NE(root.AddInt("P", 1), nullptr);
  EXPECT_EQ(root.OpenSection("p"), nullptr);
  EXPECT_EQ(root.AddSection("p"), nullptr);
  EXPECT_EQ(root.AddSection("New"), &root);
  EXPECT_EQ(root.OpenSection(""), nullptr) << "a nameless section could never be found again";

  // A loop over the slots that skips IsNull() sees each kind once.
  int sections = 0, values = 0;
  for (int i = 1; i <= root.Count(); ++i) {
    sections += !root.GetSectionAt(i)->IsNull();
    values += !root.GetValueAt(i)->IsNull();
  }
  EXPECT_EQ(sections, 2);
  EXPECT_EQ(values, 1);
}

TEST(TreeNodeTest, RemovalLeavesHoleThatNextAdditionFills) {
  TreeSection root("r");
  root.AddSection("a")->AddSection("b")->AddSection("c");
  root.GetSection("b")->AddInt("deep", 1);
  EXPECT_EQ(root.Remove("B"), 2);
  EXPECT_EQ(root.Count(), 3);
  EXPECT_EQ(root.At(2), nullptr);
  root.AddSection("d");
  EXPECT_EQ(root.IndexOf("d"), 2);
  root.AddSection("e");
  EXPECT_EQ(root.IndexOf("e"), 4);
}

TEST(TreeNodeTest, ItemsAppendUnnamedAndDropRepeatedIndex) {
  TreeSection root("r");
  TreeValue* p = root.AddInt("P", 1);
  root.AddInt("p", 2);
  EXPECT_EQ(p->Count(), 2);
  EXPECT_EQ(p->GetInt(), 1);
  EXPECT_EQ(root.SetInt("P", 5), 1);
  EXPECT_EQ(p->GetItemAt(1)->AsInt(), 5);
  EXPECT_EQ(p->GetItemAt(2)->AsInt(), 2);

  TreeValue* q = root.AddInt("Q", 7, "2");
  root.AddInt("Q", 8, "2");
  EXPECT_EQ(q->Count(), 1);
  EXPECT_EQ(q->GetInt(), 7);
  EXPECT_STREQ(q->GetItemAt(1)->GetName(), "2");

  TreeValue* fresh = root.OpenValue("fresh");
  EXPECT_EQ(fresh->Count(), 0);
  EXPECT_EQ(fresh->SetString("abc"), 1);
  EXPECT_EQ(fresh->SetString("def"), 1);
  EXPECT_EQ(fresh->Count(), 1);
  EXPECT_STREQ(fresh->GetString(), "def");
  EXPECT_EQ(fresh->SetInt(3), 1);
  EXPECT_EQ(fresh->Count(), 2);
  EXPECT_EQ(fresh->FindItemOfType(kInt), 2);
  EXPECT_EQ(fresh->FindItemOfType(kDouble), 0);
}

TEST(TreeNodeTest, ReadersNeverConvert) {
  TreeSection root("r");
  TreeValue* port = root.AddString("port", "80");
  EXPECT_EQ(port->GetInt(), 0);
  TreeValue* flag = root.AddInt("flag", 1);
  EXPECT_STREQ(flag->GetString(), "");

  const TreeItem& item = *flag->GetItemAt(1);
  EXPECT_EQ(item.AsFloat(), 0.0f);
  EXPECT_EQ(item.AsDouble(), 0.0);
  EXPECT_EQ(item.AsInt64(), 0);
  EXPECT_STREQ(item.AsString(), "");
  EXPECT_EQ(item.AsBytes(), nullptr);
  EXPECT_EQ(item.ByteLength(), 0);
  EXPECT_EQ(port->GetItemAt(1)->AsInt(), 0);
}

TEST(TreeNodeTest, SetFromIntConvertsToTheItemsOwnType) {
  auto i = TreeItem::MakeInt(0);
  auto f = TreeItem::MakeFloat(0);
  auto d = TreeItem::MakeDouble(0);
  auto l = TreeItem::MakeInt64(0);
  auto s = TreeItem::MakeString("old");
  auto b = TreeItem::MakeBytes("xy", 2);
  EXPECT_EQ(i->SetFromInt(-7), -7);
  EXPECT_EQ(i->AsInt(), -7);
  EXPECT_EQ(f->SetFromInt(16777217), 16777217);
  EXPECT_EQ(f->AsFloat(), 16777216.0f);
  EXPECT_EQ(d->SetFromInt(-2147483647 - 1), -2147483647 - 1);
  EXPECT_EQ(d->AsDouble(), -2147483648.0);
  EXPECT_EQ(l->SetFromInt(-1), -1);
  EXPECT_EQ(l->AsInt64(), -1);
  EXPECT_EQ(s->SetFromInt(-2147483647 - 1), -2147483647 - 1);
  EXPECT_STREQ(s->AsString(), "-2147483648");
  EXPECT_EQ(b->SetFromInt(9), 0);
  EXPECT_EQ(std::memcmp(b->AsBytes(), "xy", 2), 0);
  EXPECT_EQ(i->SetText("t"), 0);
  EXPECT_EQ(s->SetText("new"), 1);
  EXPECT_STREQ(s->AsString(), "new");
}

TEST(TreeNodeTest, BytesItems) {
  TreeSection root("r");
  const unsigned char data[] = {0x0A, 0xFF};
  const TreeItem* item = root.AddBytes("K", data, 2)->GetItemAt(1);
  ASSERT_EQ(item->ByteLength(), 2);
  EXPECT_EQ(item->AsBytes()[1], 0xFF);
  const TreeItem* empty = root.AddBytes("E", nullptr, 0)->GetItemAt(1);
  EXPECT_EQ(empty->Type(), kBytes);
  EXPECT_EQ(empty->AsBytes(), nullptr);
  const TreeItem* zeroed = root.AddBytes("Z", nullptr, 3)->GetItemAt(1);
  ASSERT_EQ(zeroed->ByteLength(), 3);
  EXPECT_EQ(zeroed->AsBytes()[2], 0);
}

TEST(TreeNodeTest, RenameToSiblingNameFindsLowerSlot) {
  TreeSection root("r");
  for (int i = 0; i < 20; ++i) root.AddSection("s" + std::to_string(i));
  TreeSection* later = root.GetSection("s15");
  later->SetName("S3");
  EXPECT_EQ(root.GetSection("s3"), root.GetSectionAt(4));
  root.Remove("s3");
  EXPECT_EQ(root.GetSection("s3"), later);
}

TEST(TreeNodeTest, CloneCopiesDeepCompactsAndKeepsKinds) {
  TreeSection root("path", true);
  root.AddSection("gone");
  TreeSection* a = root.OpenSection("A");
  a->AddString("text", "hello", "1");
  a->AddDouble("d", 2.5);
  a->AddBytes("b", "\x01\x02", 2);
  root.AddInt("n", 4);
  root.Remove("gone");

  std::unique_ptr<NamedObject> copy = root.Clone();
  auto* cloned = static_cast<TreeSection*>(copy.get());
  EXPECT_TRUE(cloned->IsFileBacked());
  EXPECT_EQ(cloned->Count(), 2);
  const TreeSection* ca = cloned->GetSection("a");
  ASSERT_FALSE(ca->IsNull());
  EXPECT_NE(ca, a);
  EXPECT_STREQ(ca->GetValue("text")->GetString(), "hello");
  EXPECT_NE(ca->GetValue("text")->GetString(), a->GetValue("text")->GetString());
  EXPECT_STREQ(ca->GetValue("text")->GetItemAt(1)->GetName(), "1");
  EXPECT_EQ(ca->GetValue("d")->GetItemAt(1)->AsDouble(), 2.5);
  EXPECT_EQ(ca->GetValue("b")->GetItemAt(1)->AsBytes()[1], 2);
  EXPECT_EQ(cloned->GetValue("n")->GetInt(), 4);
}

// The filter's request threads read one tree at once through the const lookups.
TEST(TreeNodeTest, ConstLookupsFromManyThreads) {
  TreeSection root("r");
  TreeSection* users = root.OpenSection("ACCOUNTS")->OpenSection("db");
  for (int i = 0; i < 2000; ++i) users->OpenSection("user" + std::to_string(i))->SetInt("x", i);
  const TreeSection& shared = root;
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 5; ++round) {
        for (int i = 0; i < 2000; ++i) {
          const TreeValue* x = shared.GetSection("accounts")
                                   ->GetSection("DB")
                                   ->GetSection("USER" + std::to_string(i))
                                   ->GetValue("X");
          if (x->GetInt() != i) ++wrong[t];
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int w : wrong) EXPECT_EQ(w, 0);
}

}  // namespace
}  // namespace vard
