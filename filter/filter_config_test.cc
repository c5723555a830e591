#include "filter/filter_config.h"

#include <memory>
#include <string>
#include <string_view>

#include "gtest/gtest.h"
#include "schema/names.h"
#include "tree/text_tree_stream.h"

namespace vard {
namespace {

// Values of the wrong type, a section where a value belongs and the reverse, names differing in
// case, a duplicated binding (the loader keeps both texts in one value; the first is read).
constexpr char kText[] =
    "{ MAIN:\n"
    "    (string)Disable=1\n"
    "    { SERVERS:\n"
    "        (string)server1=Staff\n"
    "        (string)SERVER1=Other\n"
    "        (int)numeric=7\n"
    "        { sectioned:\n"
    "        } sectioned;\n"
    "    } SERVERS;\n"
    "} MAIN;\n"
    "{ NTACCOUNTS:\n"
    "    { webstaff:\n"
    "        (int)Password=5\n"
    "    } webstaff;\n"
    "    (string)valued=x\n"
    "} NTACCOUNTS;\n"
    "{ ACCOUNTS:\n"
    "    { Staff:\n"
    "        (string)ExpirationRequired=1\n"
    "        { Alice:\n"
    "            (string)Password=pw\n"
    "            (string)disabled=1\n"
    "            (int)MapTo=3\n"
    "            (int)expiredate=5\n"
    "        } Alice;\n"
    "        { bob:\n"
    "            (int)Password=1\n"
    "            (string)expiredate=13/45/x\n"
    "            (int)DoNotMap=2\n"
    "        } bob;\n"
    "        { carol:\n"
    "            (string)expiredate= 12/31/2037 tail\n"
    "        } carol;\n"
    "    } Staff;\n"
    "} ACCOUNTS;\n";

std::unique_ptr<TreeSection> Load(std::string_view text) {
  auto root = std::make_unique<TreeSection>("", true);
  std::unique_ptr<TextTreeStream> stream = TextTreeStream::ReadingText(text);
  root->Load(*stream);
  return root;
}

// The form answers every lookup as the tree does, whatever the lookup's spelling.
TEST(FilterConfigTest, AnswersAsTheTreeDoes) {
  const std::unique_ptr<TreeSection> root = Load(kText);
  const std::unique_ptr<const FilterConfig> config = FilterConfig::FromTree(*root);
  ASSERT_NE(nullptr, config);
  EXPECT_FALSE(config->disabled());
  EXPECT_STREQ("", config->log_path());

  const TreeSection& servers = *root->GetSection(kMain)->GetSection(kServers);
  for (const std::string_view key : {"server1", "Server1", "numeric", "sectioned", "missing", ""}) {
    SCOPED_TRACE(key);
    std::string_view authority = "unset";
    ASSERT_EQ(!servers.GetValue(key)->IsNull(), config->FindBinding(key, &authority));
    if (authority != "unset") {
      EXPECT_EQ(servers.GetValue(key)->GetString(), authority);
    }
  }

  const TreeSection& accounts = *root->GetSection(kNtAccounts);
  for (const std::string_view name : {"WEBSTAFF", "valued", "nobody"}) {
    SCOPED_TRACE(name);
    FilterConfig::Account account;
    ASSERT_EQ(!accounts.GetSection(name)->IsNull(), config->FindAccount(name, &account));
    if (accounts.GetSection(name)->IsNull()) continue;
    EXPECT_EQ(accounts.GetSection(name)->GetName(), account.name);
    EXPECT_EQ("", account.password);
  }

  FilterConfig::Authority staff;
  ASSERT_TRUE(config->FindAuthority("staff", &staff));
  EXPECT_FALSE(config->FindAuthority("Other", &staff));
  ASSERT_TRUE(config->FindAuthority("STAFF", &staff));
  EXPECT_EQ("Staff", staff.name);
  EXPECT_FALSE(staff.expiration_required);

  struct Case {
    std::string_view lookup{};
    bool found = false;
    std::string_view name{}, password{}, map_to{};
    bool has_map_to = false, disabled = false, do_not_map = false;
    FilterConfig::ExpireForm expire = FilterConfig::ExpireForm::kNone;
  };
  using Form = FilterConfig::ExpireForm;
  const Case cases[] = {
      {"alice", true, "Alice", "pw", "", true, false, false, Form::kNone},
      {std::string_view("ALICE\0bob", 9), true, "Alice", "pw", "", true, false, false, Form::kNone},
      {"Bob", true, "bob", "", "", false, false, true, Form::kUnreadable},
      {"carol", true, "carol", "", "", false, false, false, Form::kDate},
      {"ExpirationRequired", false},
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lookup);
    FilterConfig::User user;
    ASSERT_EQ(c.found, config->FindUser(staff, c.lookup, &user));
    if (!c.found) continue;
    EXPECT_EQ(c.name, user.name);
    EXPECT_EQ(c.password, user.password);
    EXPECT_EQ(c.map_to, user.map_to);
    EXPECT_EQ(c.has_map_to, user.has_map_to);
    EXPECT_EQ(c.disabled, user.disabled);
    EXPECT_EQ(c.do_not_map, user.do_not_map);
    EXPECT_EQ(c.expire, user.expire_form);
  }
  FilterConfig::User carol;
  ASSERT_TRUE(config->FindUser(staff, "carol", &carol));
  EXPECT_EQ(12, carol.month);
  EXPECT_EQ(31, carol.day);
  EXPECT_EQ(2037, carol.year);
}

// A renamed child can share its name with a lower slot; the tree finds the lower one, and so
// must the form.
TEST(FilterConfigTest, TheLowerSlotWinsOnEqualNames) {
  const std::unique_ptr<TreeSection> root = Load(
      "{ ACCOUNTS:\n { A:\n  { first:\n   (string)Password=one\n  } first;\n"
      "  { second:\n   (string)Password=two\n  } second;\n } A;\n} ACCOUNTS;\n");
  TreeSection& authority = *root->GetSection(kAccounts)->GetSection("A");
  ASSERT_EQ(1, authority.GetSection("second")->SetName("FIRST"));
  ASSERT_EQ("one",
            std::string_view(authority.GetSection("first")->GetValue(kPassword)->GetString()));

  const std::unique_ptr<const FilterConfig> config = FilterConfig::FromTree(*root);
  FilterConfig::Authority a;
  FilterConfig::User user;
  ASSERT_TRUE(config->FindAuthority("a", &a));
  ASSERT_TRUE(config->FindUser(a, "First", &user));
  EXPECT_EQ("first", user.name);
  EXPECT_EQ("one", user.password);
}

// Read straight from the text, the form follows the loader's rules: repeated sections merge, a
// value gains items and drops a duplicated item name, a section under a value's name is skipped
// with its contents, and a byte block's lines are its own.
TEST(FilterConfigTest, ReadFromTheTextAsTheLoaderReadsIt) {
  constexpr char kQuirks[] =
      "{ ACCOUNTS:\n"
      " { Staff:\n"
      "  { alice:\n"
      "   (int)Password[a]=1\n"
      "   (string)Password[A]=dropped\n"
      "   [ note:\n"
      "    } alice;\n"
      "   ] note;\n"
      "  } alice;\n"
      "  (string)carol=value\n"
      "  { carol:\n"
      "   (string)Password=hidden\n"
      "  } carol;\n"
      " } Staff;\n"
      " { staff:\n"
      "  { ALICE:\n"
      "   (string)Password=second\n"
      "   (string)MapTo[x]=web\n"
      "  } ALICE;\n"
      " } staff;\n"
      "} ACCOUNTS;\n";
  const std::unique_ptr<TextTreeStream> stream = TextTreeStream::ReadingText(kQuirks);
  const std::unique_ptr<const FilterConfig> config = FilterConfig::FromStream(*stream);
  ASSERT_NE(nullptr, config);
  FilterConfig::Authority staff;
  FilterConfig::User user;
  ASSERT_TRUE(config->FindAuthority("STAFF", &staff));
  ASSERT_TRUE(config->FindUser(staff, "Alice", &user));
  EXPECT_EQ("alice", user.name);
  EXPECT_EQ("second", user.password);
  EXPECT_EQ("web", user.map_to);
  EXPECT_FALSE(config->FindUser(staff, "carol", &user));
}

}  // namespace
}  // namespace vard
