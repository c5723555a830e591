// A CGI program for the request-input tests: prints the three field sets that ReadRequest
// built, one line per value ("form <name>=<value>"), and exits with status 7.
#include <cstdio>

#include "cgi/request.h"

namespace {

void Print(const char* label, const vard::FieldSet& set) {
  for (int i = 1; i <= set.Count(); ++i) {
    const auto* field = static_cast<const vard::Field*>(set.At(i));
    if (!field) continue;
    const char* name = field->GetName();
    for (int j = 1; j <= field->Count(); ++j) {
      std::printf("%s [%s]=[%s]\n", label, name ? name : "", field->ValueAt(j).Text());
    }
  }
}

int EchoPageMain(int, char**, char**, vard::FieldSet& form, vard::FieldSet& query,
                 vard::FieldSet& cookies) {
  Print("form", form);
  Print("query", query);
  Print("cookie", cookies);
  // The rest of standard input, to show that nothing beyond the body length was read.
  std::printf("rest [");
  for (int c; (c = std::getchar()) != EOF;) std::putchar(c);
  std::printf("]\n");
  return 7;
}

}  // namespace

int main(int argc, char** argv, char** envp) {
  return vard::ReadRequest(argc, argv, envp, EchoPageMain);
}
