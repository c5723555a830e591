// The settings store's reader and writer. The first NUL-separated part of the input is a store
// file; the next three, when present, a key path, a value name and a text to store. The laws: a
// parsed file written back parses to the same text (nothing is lost or changed by an update that
// touches no line), and a stored value reads back as stored.
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"
#include "platform/registry_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vard;
  const auto parts = SplitFuzzInput(data, size, 4);
  const RegistryText store(parts[0].value_or(""));
  const std::string text = store.ToText();
  FUZZ_CHECK(RegistryText(text).ToText() == text, "a written store reads back the same");
  if (!parts[1] || !parts[2] || !parts[3]) return 0;
  RegistryText changed(text);
  // The settings key hands names and texts over as C strings; the parts hold no NUL.
  if (!changed.SetString(*parts[1], *parts[2], *parts[3])) {
    FUZZ_CHECK(!IsWritableKeyPath(*parts[1]), "only an unwritable key path is refused");
    return 0;
  }
  const RegistryText reread(changed.ToText());
  const auto found = reread.FindValue(*parts[1], *parts[2]);
  FUZZ_CHECK(found && !found->zero_bytes && found->data == *parts[3],
             "a stored value reads back as stored");
  FUZZ_CHECK(reread.HasKey(*parts[1]), "the key of a stored value exists");
  return 0;
}
