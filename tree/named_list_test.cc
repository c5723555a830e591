#include "tree/named_list.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <string_view>

namespace vard {
namespace {

std::unique_ptr<NamedObject> Named(std::string_view name) {
  return std::make_unique<NamedObject>(name);
}

TEST(NamedListTest, SlotsHolesAndLowestHoleReuse) {
  NamedList list;
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Add(Named("a")), 1);
  EXPECT_EQ(list.Add(Named("b")), 2);
  EXPECT_EQ(list.Add(Named("c")), 3);
  EXPECT_EQ(list.Add(Named("d")), 4);

  EXPECT_EQ(list.RemoveAt(3), 3);
  EXPECT_EQ(list.Remove("B"), 2);
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list.At(2), nullptr);
  EXPECT_EQ(list.At(3), nullptr);
  EXPECT_EQ(list.RemoveAt(2), 0) << "a hole cannot be removed twice";
  EXPECT_EQ(list.RemoveAt(0), 0);
  EXPECT_EQ(list.RemoveAt(5), 0);
  EXPECT_EQ(list.At(0), nullptr);
  EXPECT_EQ(list.At(5), nullptr);

  EXPECT_EQ(list.Add(Named("x")), 2);
  EXPECT_EQ(list.Add(Named("y")), 3);
  EXPECT_EQ(list.Add(Named("z")), 5);
  EXPECT_EQ(list.IndexOf("d"), 4);
  EXPECT_STREQ(list.At(3)->GetName(), "y");
}

TEST(NamedListTest, NamesAreUniqueIgnoringCaseAndNamelessMayRepeat) {
  NamedList list;
  EXPECT_EQ(list.Add(Named("Users")), 1);
  EXPECT_EQ(list.Add(Named("USERS")), 0);
  EXPECT_EQ(list.Add(nullptr), 0);
  EXPECT_EQ(list.Add(Named("")), 2);
  EXPECT_EQ(list.Add(Named("")), 3);
  EXPECT_EQ(list.IndexOf("uSeRs"), 1);
  EXPECT_EQ(list.IndexOf(""), 0) << "an empty name finds nothing, not the nameless children";
  EXPECT_EQ(list.Find("nope"), nullptr);
  // Only ASCII letters fold: bytes above 127 compare exactly.
  EXPECT_EQ(list.Add(Named("\xc4")), 4);
  EXPECT_EQ(list.IndexOf("\xe4"), 0);
}

TEST(NamedListTest, NameEndsAtZeroByte) {
  NamedList list;
  list.Add(Named(std::string_view("ab\0cd", 5)));
  EXPECT_STREQ(list.At(1)->GetName(), "ab");
  EXPECT_EQ(list.IndexOf(std::string_view("AB\0x", 4)), 1);
}

// Renames keep the index exact at every size; with two equal names the lower slot wins, and
// once the lower one goes the other is found again.
TEST(NamedListTest, NamesCompareIgnoringLetterCaseUpToTheirZeroByte) {
  using std::string_view_literals::operator""sv;
  const struct {
    std::string_view a, b;
    bool equal;
  } cases[] = {
      {"Password", "PASSWORD", true},
      {"abc\0x"sv, "abc", true},
      {"ab\0"sv, "AB\0zz"sv, true},
      {"", "\0a"sv, true},
      {"abc", "abcd", false},
      {"a", "", false},
      {"ab\0"sv, "abc", false},
      {"@[", "`{", false},
      {"x1", "X2", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NamesEqual(c.a, c.b), c.equal) << c.a << " / " << c.b;
    EXPECT_EQ(NamesEqual(c.b, c.a), c.equal) << c.b << " / " << c.a;
  }
}

TEST(NamedListTest, RenameKeepsLookupExact) {
  for (int size : {3, 40}) {
    SCOPED_TRACE(size);
    NamedList list;
    for (int i = 1; i <= size; ++i) list.Add(Named("n" + std::to_string(i)));
    NamedObject* first = list.At(1);
    NamedObject* second = list.At(2);
    EXPECT_EQ(second->SetName("N1"), 1);
    EXPECT_EQ(list.IndexOf("n1"), 1);
    EXPECT_EQ(list.IndexOf("n2"), 0);
    EXPECT_EQ(first->SetName("moved"), 1);
    EXPECT_EQ(list.IndexOf("n1"), 2);
    EXPECT_EQ(list.IndexOf("MOVED"), 1);
    list.RemoveAt(2);
    EXPECT_EQ(list.IndexOf("n1"), 0);
    EXPECT_EQ(first->SetName(""), 1);
    EXPECT_EQ(list.IndexOf("moved"), 0);
    EXPECT_EQ(list.Add(Named("moved")), 2);
    EXPECT_EQ(first->SetName("named again"), 1) << "an unnamed child takes a name";
    EXPECT_EQ(list.IndexOf("NAMED AGAIN"), 1);
  }
}

// The hashed lookup must agree with the definition (lowest slot whose name matches) through any
// mix of additions, removals and renames.
TEST(NamedListTest, LargeListAgreesWithLinearModel) {
  NamedList list;
  std::map<int, std::string> model;  // slot -> name as stored
  std::mt19937 random(7);
  auto name_of = [](unsigned k) {
    std::string name = "user" + std::to_string(k % 300);
    if (k & 1) name[0] = 'U';
    return name;
  };
  auto lowest = [&](const std::string& name) {
    for (const auto& [slot, stored] : model) {
      if (NamesEqual(stored, name)) return slot;
    }
    return 0;
  };
  for (int step = 0; step < 20000; ++step) {
    const unsigned k = random();
    const std::string name = name_of(k >> 4);
    switch (k % 4) {
      case 0:
      case 1: {
        const int expected = lowest(name) ? 0 : -1;
        const int slot = list.Add(Named(name));
        if (expected == 0) {
          ASSERT_EQ(slot, 0);
        } else {
          ASSERT_GT(slot, 0);
          model[slot] = name;
        }
        break;
      }
      case 2:
        if (int slot = list.IndexOf(name)) {
          ASSERT_EQ(list.RemoveAt(slot), slot);
          model.erase(slot);
        }
        break;
      case 3:
        if (!model.empty()) {
          auto it = model.begin();
          std::advance(it, (k >> 8) % model.size());
          list.At(it->first)->SetName(name);
          it->second = name;
        }
        break;
    }
    ASSERT_EQ(list.IndexOf(name), lowest(name)) << name << " at step " << step;
  }
  for (unsigned k = 0; k < 300; ++k) EXPECT_EQ(list.IndexOf(name_of(k)), lowest(name_of(k)));
}

// The index finds a name only when names equal ignoring case hash alike: every letter, at every
// length and place (the hash takes eight bytes at a time and the rest apart).
TEST(NamedListTest, NamesEqualIgnoringCaseHashAlike) {
  for (size_t length = 1; length <= 40; ++length) {
    std::string lower, mixed;
    for (size_t i = 0; i < length; ++i) {
      const char c = static_cast<char>('a' + (i * 7 + length) % 26);
      lower += c;
      mixed += i % 3 != 0 ? static_cast<char>(c - 'a' + 'A') : c;
    }
    EXPECT_EQ(FoldedNameHash(lower), FoldedNameHash(mixed)) << mixed;
  }
}

TEST(NamedListTest, CloneIsDeepAndCompacted) {
  NamedList list("root");
  for (const char* name : {"a", "b", "c", "d"}) list.Add(Named(name));
  list.Remove("b");
  list.At(3)->SetName("A");  // a rename-made duplicate: the clone keeps the lower one only
  std::unique_ptr<NamedObject> copy = list.Clone();
  auto* cloned = static_cast<NamedList*>(copy.get());
  EXPECT_STREQ(cloned->GetName(), "root");
  ASSERT_EQ(cloned->Count(), 2);
  EXPECT_STREQ(cloned->At(1)->GetName(), "a");
  EXPECT_STREQ(cloned->At(2)->GetName(), "d");
  EXPECT_NE(cloned->At(1), list.At(1));
  cloned->At(1)->SetName("renamed");
  EXPECT_EQ(list.IndexOf("a"), 1);
  EXPECT_EQ(cloned->IndexOf("renamed"), 1);
}

}  // namespace
}  // namespace vard
