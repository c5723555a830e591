#include "tools/config_check.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

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

}  // namespace

CheckOutcome CheckConfigFile(const std::string& path, std::vector<ConfigFinding>* findings,
                             std::string* error) {
  findings->clear();
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
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
  return findings->empty() ? CheckOutcome::kClean : CheckOutcome::kProblems;
}

}  // namespace vard
