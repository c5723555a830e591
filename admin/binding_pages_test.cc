// Process tests of the binding pages.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "admin/pages_test_support.h"

namespace vard::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr char kBindings[] =
    "{ MAIN:\n"
    "    { SERVERS:\n"
    "        (string)intranet=staff\n"
    "        (string)shop|8080=guests\n"
    "        { odd:\n"
    "        } odd;\n"
    "    } SERVERS;\n"
    "} MAIN;\n"
    "{ NTACCOUNTS:\n"
    "} NTACCOUNTS;\n"
    "{ ACCOUNTS:\n"
    "    { staff:\n"
    "    } staff;\n"
    "    { guests:\n"
    "    } guests;\n"
    "} ACCOUNTS;\n";

std::string Binding(const CgiSite& site, const std::string& key) {
  return LoadConfig(site)->GetSection("MAIN")->GetSection("SERVERS")->GetValue(key)->GetString();
}

TEST(BindingPages, AddBuildsTheKeyFromHostAndPortAsTyped) {
  struct Case {
    std::string host, port, key;
  } cases[] = {
      {"web", "80", "web"},      {"web", "81", "web|81"},       {"web2", "80abc", "web2"},
      {"web", "081", "web|081"}, {"web", "99999", "web|99999"},
  };
  CgiSite site(kBindings);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host + ":" + c.port);
    const AdminPage page = RunAdmin(
        site, "BindAddDo", FormBody({{"Host", c.host}, {"Port", c.port}, {"Authority", "staff"}}));
    EXPECT_EQ(page.content, "Users connecting to <b>" + c.host + ":" + c.port +
                                "</b> will be authenticated in authority: <b>staff</b> .");
    EXPECT_EQ(Binding(site, c.key), "staff");
  }
}

TEST(BindingPages, AddRefusals) {
  const std::string long_host(249, 'h');
  struct Case {
    std::string host, port, authority, message;
  } cases[] = {
      {"web", "0", "staff",
       "Invalid TCP port specified (<b>0</b>). Please click back button of your browser and "
       "correct port value."},
      {"web", "-1", "staff", "Invalid TCP port specified (<b>-1</b>)"},
      {"web", "abc", "staff", "Invalid TCP port specified (<b>abc</b>)"},
      {"web", "", "staff", "Invalid TCP port specified (<b></b>)"},
      {"web", "<8", "staff", "Invalid TCP port specified (<b>&lt;8</b>)"},
      {"web", "81=x", "staff", "Invalid TCP port specified (<b>81=x</b>)"},
      {"INTRANET", "80", "staff", "Binding for <b>INTRANET:80</b> already exist !"},
      {"Shop", "8080", "staff", "Binding for <b>Shop:8080</b> already exist !"},
      {"odd", "80", "staff", "Binding for <b>odd:80</b> already exist !"},
      {"", "80", "staff", "IP address or host name not specified !"},
      {"a=b", "80", "staff", "Host name <b>a=b</b> can not be used"},
      {"a[b", "80", "staff", "can not be used"},
      {"a]b", "80", "staff", "can not be used"},
      {"a|81", "80", "staff", "can not be used"},
      {"a\tb", "80", "staff", "can not be used"},
      {long_host + "h", "80", "staff", "nor be longer than 249 characters"},
      {"a b", "80", "staff", "can not be used"},
      {long_host, "123456", "staff", "host name and port may not be longer than 255 characters"},
      {"web", "80", "st\naff", "Authority name <b>st\naff</b> can not be used"},
  };
  CgiSite site(kBindings);
  const FileState before = StateOf(site.config_path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host + ":" + c.port);
    const AdminPage page =
        RunAdmin(site, "BindAddDo",
                 FormBody({{"Host", c.host}, {"Port", c.port}, {"Authority", c.authority}}));
    EXPECT_THAT(page.content, HasSubstr(c.message));
    EXPECT_THAT(page.content, Not(HasSubstr("will be authenticated")));
    EXPECT_EQ(StateOf(site.config_path()), before);
  }
  // A key of exactly 255 characters fits.
  RunAdmin(site, "BindAddDo",
           FormBody({{"Host", long_host}, {"Port", "12345"}, {"Authority", "staff"}}));
  EXPECT_EQ(Binding(site, long_host + "|12345"), "staff");
}

TEST(BindingPages, FormsListAuthoritiesAndBindings) {
  CgiSite site(kBindings);
  const AdminPage add = RunAdmin(site, "BindAdd");
  EXPECT_THAT(add.content, HasSubstr("action=\"/scripts/vardadmin?Action=BindAddDo\""));
  EXPECT_THAT(add.content, HasSubstr("name=\"Port\" size=\"20\" value=\"80\""));
  EXPECT_THAT(add.content, HasSubstr("<select size=\"1\" name=\"Authority\">\n"
                                     "<option value=\"staff\">staff</option>\n"
                                     "<option value=\"guests\">guests</option>\n</select>"));

  const AdminPage del = RunAdmin(site, "BindDel");
  EXPECT_THAT(del.content, HasSubstr("<select size=\"12\" name=\"Host\">\n"
                                     "<option value=\"intranet\">intranet --> staff</option>\n"
                                     "<option value=\"shop|8080\">shop|8080 --> guests</option>\n"
                                     "</select>"));
  EXPECT_THAT(del.content, HasSubstr("<input type=\"submit\" value=\"Delete\" name=\"B1\">"));
}

TEST(BindingPages, DeleteSavesEvenWhenThereIsNothingToDelete) {
  CgiSite site(kBindings);
  EXPECT_EQ(RunAdmin(site, "BindDelDo", FormBody({{"Host", "SHOP|8080"}})).content,
            "Binding for <B>SHOP|8080</B> deleted.");
  EXPECT_TRUE(
      LoadConfig(site)->GetSection("MAIN")->GetSection("SERVERS")->GetValue("shop|8080")->IsNull());
  const FileState before = StateOf(site.config_path());
  EXPECT_EQ(RunAdmin(site, "BindDelDo", FormBody({{"Host", "<x>"}})).content,
            "Binding for <B>&lt;x&gt;</B> deleted.");
  EXPECT_NE(StateOf(site.config_path()).inode, before.inode);
}

TEST(BindingPages, AddCreatesMissingSectionsAndEscapesTheMessage) {
  CgiSite site("{ NTACCOUNTS:\n} NTACCOUNTS;\n");
  EXPECT_EQ(RunAdmin(site, "BindAddDo",
                     FormBody({{"Host", "a<b>"}, {"Port", "81"}, {"Authority", "\"q\""}}))
                .content,
            "Users connecting to <b>a&lt;b&gt;:81</b> will be authenticated in authority: "
            "<b>&quot;q&quot;</b> .");
  EXPECT_EQ(Binding(site, "a<b>|81"), "\"q\"");
}

}  // namespace
}  // namespace vard::test
