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
    "} MAIN;\n";

std::string Binding(const CgiSite& site, const std::string& key) {
  return LoadConfig(site)->GetSection("MAIN")->GetSection("SERVERS")->GetValue(key)->GetString();
}

TEST(BindingPages, AddBuildsTheKeyFromHostAndPortAsTyped) {
  const std::string longest_host(249, 'h');
  struct Case {
    std::string host, port, key;
  } cases[] = {
      {"web", "80", "web"},
      {"web", "81", "web|81"},
      {"web2", "80abc", "web2"},
      {"web", "081", "web|081"},
      {"web", "99999", "web|99999"},
      {longest_host, "12345", longest_host + "|12345"},  // a key of 255 characters fits
  };
  CgiSite site("");  // a file made by hand without MAIN
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    const AdminPage page = RunAdmin(
        site, "BindAddDo", FormBody({{"Host", c.host}, {"Port", c.port}, {"Authority", "staff"}}));
    EXPECT_EQ(page.content, "Users connecting to <b>" + c.host + ":" + c.port +
                                "</b> will be authenticated in authority: <b>staff</b> .");
    EXPECT_EQ(Binding(site, c.key), "staff");
  }
}

TEST(BindingPages, RefusalsChangeNothing) {
  struct Case {
    std::string host, port, authority, message;
  } cases[] = {
      {"web", "0", "staff",
       "Invalid TCP port specified (<b>0</b>). Please click back button of your browser and "
       "correct port value."},
      {"web", "-1", "staff", "Invalid TCP port specified (<b>-1</b>)"},
      {"web", "<x>", "staff", "Invalid TCP port specified (<b>&lt;x&gt;</b>)"},
      {"web", "81=x", "staff", "Invalid TCP port specified (<b>81=x</b>)"},
      {"INTRANET", "80", "staff", "Binding for <b>INTRANET:80</b> already exist !"},
      {"odd", "80", "staff", "Binding for <b>odd:80</b> already exist !"},
      {"", "80", "staff", "IP address or host name not specified !"},
      {"a=b", "80", "staff", "Host name <b>a=b</b> can not be used"},
      {"a|81", "80", "staff", "can not be used"},
      {"a b", "80", "staff", "can not be used"},
      {std::string(250, 'h'), "80", "staff", "can not be used"},
      {std::string(249, 'h'), "123456", "staff", "may not be longer than 255 characters"},
      {"web", "80", "st\naff", "Authority name <b>st\naff</b> can not be used"},
  };
  CgiSite site(kBindings);
  const FileState before = StateOf(site.config_path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host + ":" + c.port);
    const std::string content =
        RunAdmin(site, "BindAddDo",
                 FormBody({{"Host", c.host}, {"Port", c.port}, {"Authority", c.authority}}))
            .content;
    EXPECT_THAT(content, HasSubstr(c.message));
    EXPECT_THAT(content, Not(HasSubstr("will be authenticated")));
    EXPECT_EQ(StateOf(site.config_path()), before);
  }
}

TEST(BindingPages, DeleteListsBindingsAndSavesEvenWhenNothingWasThere) {
  CgiSite site(kBindings);
  EXPECT_THAT(RunAdmin(site, "BindDel").content,
              HasSubstr("<select size=\"12\" name=\"Host\">\n"
                        "<option value=\"intranet\">intranet --> staff</option>\n"
                        "<option value=\"shop|8080\">shop|8080 --> guests</option>\n</select>"));
  EXPECT_EQ(RunAdmin(site, "BindDelDo", FormBody({{"Host", "SHOP|8080"}})).content,
            "Binding for <B>SHOP|8080</B> deleted.");
  EXPECT_TRUE(
      LoadConfig(site)->GetSection("MAIN")->GetSection("SERVERS")->GetValue("shop|8080")->IsNull());

  const FileState before = StateOf(site.config_path());
  EXPECT_EQ(RunAdmin(site, "BindDelDo", FormBody({{"Host", "<x>"}})).content,
            "Binding for <B>&lt;x&gt;</B> deleted.");
  EXPECT_NE(StateOf(site.config_path()).inode, before.inode);
}

}  // namespace
}  // namespace vard::test
