#include "userpages/user_test_support.h"

#include <sys/stat.h>

#include <cstdio>
#include <sstream>

#include "schema/names.h"
#include "tree/tree_node.h"

namespace vard::test {

const char kUserConfig[] =
    "{ MAIN:\n"
    "    (int)Disable=0\n"
    "    { SERVERS:\n"
    "        (string)intranet=Staff\n"
    "        (string)intranet|81=Other\n"
    "        (string)ghost=Gone\n"
    "    } SERVERS;\n"
    "} MAIN;\n"
    "{ NTACCOUNTS:\n"
    "    { webstaff:\n"
    "        (string)Password=ntpass\n"
    "    } webstaff;\n"
    "    { WebOther:\n"
    "        (string)Password=other\n"
    "    } WebOther;\n"
    "} NTACCOUNTS;\n"
    "{ ACCOUNTS:\n"
    "    { Staff:\n"
    "        (int)ExpirationRequired=1\n"
    "        { alice:\n"
    "            (string)Password=a1\n"
    "            (int)DoNotMap=0\n"
    "            (string)MapTo=WEBOTHER\n"
    "            (string)expiredate=12/31/2001\n"
    "            (int)noexpiration=0\n"
    "            (int)disabled=1\n"
    "        } alice;\n"
    "        { bob:\n"
    "            (string)Password=b&\"<'\n"
    "            (int)DoNotMap=1\n"
    "            (string)hand=made\n"
    "            (int)noexpiration=1\n"
    "            (int)disabled=0\n"
    "        } bob;\n"
    "        { carol:\n"
    "            (string)Password=c1\n"
    "            (int)DoNotMap=0\n"
    "            (string)MapTo=webstaff\n"
    "            (int)noexpiration=0\n"
    "            (int)disabled=0\n"
    "        } carol;\n"
    "    } Staff;\n"
    "    { Other:\n"
    "        { dave:\n"
    "            (string)Password=d1\n"
    "        } dave;\n"
    "    } Other;\n"
    "} ACCOUNTS;\n";

std::string UsersConfig(int count, std::string_view prefix) {
  std::string config =
      "{ MAIN:\n{ SERVERS:\n(string)intranet=Staff\n} SERVERS;\n} MAIN;\n"
      "{ NTACCOUNTS:\n} NTACCOUNTS;\n{ ACCOUNTS:\n{ Staff:\n";
  char number[16];
  for (int i = 1; i <= count; ++i) {
    std::snprintf(number, sizeof number, "%06d", i);
    const std::string name = std::string(prefix) + number;
    config += "{ " + name + ":\n(string)Password=p\n} " + name + ";\n";
  }
  return config + "} Staff;\n} ACCOUNTS;\n";
}

std::string UserBlock(const std::string& config, std::string_view user) {
  const std::string open = "{ " + std::string(user) + ":";
  const std::string close = "} " + std::string(user) + ";";
  std::istringstream lines(config);
  std::string line;
  std::string block;
  bool inside = false;
  while (std::getline(lines, line)) {
    const size_t text = line.find_first_not_of(" \t");
    line = text == std::string::npos ? "" : line.substr(text);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == open) inside = true;
    if (inside) block += line + "\n";
    if (inside && line == close) return block;
  }
  return "";
}

std::vector<std::string> UserNames(const std::string& path, std::string_view authority) {
  TreeSection root(path, true);
  root.LoadFile();
  const TreeSection* section = root.GetSection(kAccounts)->GetSection(authority);
  std::vector<std::string> names;
  for (int i = 1; i <= section->Count(); ++i) {
    const TreeSection* user = section->GetSectionAt(i);
    if (!user->IsNull()) names.emplace_back(user->GetName());
  }
  return names;
}

ino_t Inode(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

}  // namespace vard::test
