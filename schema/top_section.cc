#include "schema/top_section.h"

#include "schema/names.h"

namespace vard {

TreeSection* OpenTopSection(TreeSection* root, std::string_view name) {
  TreeSection* section = root->OpenSection(name);
  return section ? section : &TreeSection::Null;
}

TreeSection* OpenServersSection(TreeSection* root) {
  TreeSection* main = OpenTopSection(root, kMain);
  if (main->IsNull()) return main;
  TreeSection* servers = main->OpenSection(kServers);
  return servers ? servers : &TreeSection::Null;
}

}  // namespace vard
