#include "tools/config_check.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/env.h"
#include "schema/entry_rules.h"
#include "schema/names.h"
#include "tree/text_format.h"
#include "tree/tree_node.h"
#include "tree/tree_stream.h"

namespace vard {
namespace {

// Offending texts are quoted into a terminal: one printable line of sane length. Indentation and
// the line end carry no meaning in the file; showing them only adds noise.
std::string Printable(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  return QuoteForMessage(text);
}

class Collector : public LoadObserver {
 public:
  explicit Collector(std::vector<ConfigFinding>* findings) : findings_(findings) {}

  void OnProblem(int line, LoadProblem problem, std::string_view text) override {
    std::string message = LoadProblemText(problem);
    if (!text.empty()) message += ": " + Printable(text);
    findings_->push_back(ConfigFinding{line, std::move(message)});
  }

 private:
  std::vector<ConfigFinding>* findings_;
};

// The programs add entries only inside these sections and never create them.
void CheckTopSection(const TreeSection& parent, std::string_view path, const char* name,
                     std::vector<ConfigFinding>* findings) {
  if (!parent.GetSection(name)->IsNull()) return;
  const std::string full = path.empty() ? std::string(name) : std::string(path) + "/" + name;
  if (!parent.GetValue(name)->IsNull()) {
    findings->push_back(ConfigFinding{0, full + " is a value, but the programs need a section"});
  } else {
    findings->push_back(ConfigFinding{0, "missing section " + full});
  }
}

std::string NameOf(const NamedObject* object) {
  const char* name = object->GetName();
  return Printable(name ? name : "");
}

void Add(std::vector<ConfigFinding>* findings, std::string message) {
  findings->push_back(ConfigFinding{0, std::move(message)});
}

// What loads as written but cannot work: the filter refuses every visitor such an entry
// concerns, or lets in anyone who knows a name.
void CheckReferences(const TreeSection& root, std::vector<ConfigFinding>* findings) {
  const TreeSection* const accounts = root.GetSection(kNtAccounts);
  const TreeSection* const authorities = root.GetSection(kAccounts);
  const TreeSection* const servers = root.GetSection(kMain)->GetSection(kServers);
  for (int i = 1; i <= servers->Count(); ++i) {
    const TreeValue* const binding = servers->GetValueAt(i);
    if (binding->IsNull() || !authorities->GetSection(binding->GetString())->IsNull()) continue;
    Add(findings, "binding " + NameOf(binding) + " names the missing authority " +
                      Printable(binding->GetString()));
  }
  for (int i = 1; i <= accounts->Count(); ++i) {
    const TreeSection* const account = accounts->GetSectionAt(i);
    if (account->IsNull() || *account->GetValue(kPassword)->GetString() != '\0') continue;
    Add(findings, "account " + NameOf(account) + " has an empty password");
  }
  for (int i = 1; i <= authorities->Count(); ++i) {
    const TreeSection* const authority = authorities->GetSectionAt(i);
    for (int j = 1; !authority->IsNull() && j <= authority->Count(); ++j) {
      const TreeSection* const user = authority->GetSectionAt(j);
      if (user->IsNull()) continue;
      const std::string who = "user " + NameOf(user) + " of authority " + NameOf(authority);
      const UserRecord record = ReadUserRecord(*user);
      if (record.password.empty()) Add(findings, who + " has an empty password");
      if (record.mapped && accounts->GetSection(record.map_to)->IsNull()) {
        Add(findings, who + " is mapped to the missing account " + Printable(record.map_to));
      }
      switch (CheckExpireDate(user->GetValue(kExpireDate)->GetString())) {
        case DateVerdict::kAccepted:
          break;
        case DateVerdict::kUnreadable:
          Add(findings, who + " has an expiration date the filter cannot read: " +
                            Printable(record.expire_date));
          break;
        case DateVerdict::kYearTooLate:
          Add(findings, who + " expires after 2037, which the filter cannot handle: " +
                            Printable(record.expire_date));
          break;
      }
    }
  }
}

}  // namespace

CheckOutcome CheckConfigFile(const std::string& path, std::vector<ConfigFinding>* findings,
                             std::string* error) {
  findings->clear();
  struct stat st;
  if (Env::Default()->Stat(path.c_str(), &st) != 0) {
    *error = std::strerror(errno);
    return CheckOutcome::kUnreadable;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = "not a regular file";
    return CheckOutcome::kUnreadable;
  }
  TreeSection root(path, true);
  Collector collector(findings);
  if (root.LoadFile(&collector) != 1) {
    *error = std::strerror(errno);
    return CheckOutcome::kUnreadable;
  }
  std::stable_sort(findings->begin(), findings->end(),
                   [](const ConfigFinding& a, const ConfigFinding& b) { return a.line < b.line; });
  CheckTopSection(root, "", kMain, findings);
  const TreeSection* main_section = root.GetSection(kMain);
  if (!main_section->IsNull()) CheckTopSection(*main_section, kMain, kServers, findings);
  CheckTopSection(root, "", kNtAccounts, findings);
  CheckTopSection(root, "", kAccounts, findings);
  CheckReferences(root, findings);
  return findings->empty() ? CheckOutcome::kClean : CheckOutcome::kProblems;
}

}  // namespace vard
