// The CGI request reader with hostile CONTENT_LENGTH, body, query string and cookies (the input's
// NUL-separated parts, in that order), through the seam that takes them instead of the
// environment and standard input. Every field read back is a C string of its set.
#include <cstdio>
#include <cstring>

#include "cgi/request.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vard;
  const auto parts = SplitFuzzInput(data, size, 4);
  std::string body = parts[1].value_or("");
  FILE* body_file = body.empty() ? nullptr : fmemopen(body.data(), body.size(), "r");
  RequestInput input;
  input.content_length = parts[0] ? parts[0]->c_str() : nullptr;
  input.body = body_file;
  input.query = parts[2] ? parts[2]->c_str() : nullptr;
  input.cookie = parts[3] ? parts[3]->c_str() : nullptr;
  FieldSet form, query, cookies;
  ReadRequestFields(input, form, query, cookies);
  if (body_file != nullptr) std::fclose(body_file);
  for (const FieldSet* set : {&form, &query, &cookies}) {
    for (int i = 1; i <= set->Count(); ++i) {
      // A pair without a name ("=x" is dropped, but "&&" gives one) makes a nameless field.
      const char* name = set->At(i)->GetName();
      const Field& field = set->Get(name != nullptr ? name : "");
      FUZZ_CHECK(name == nullptr || &field == set->At(i), "a field is found by its name");
      for (int k = 1; k <= field.Count(); ++k) {
        const char* text = field.ValueAt(k).Text();
        FUZZ_CHECK(text != nullptr, "a value's text is never null");
        (void)field.ValueAt(k).Int();
      }
    }
  }
  FUZZ_CHECK(*form.Get("no such field").Text() == '\0', "a missing field reads empty");
  return 0;
}
