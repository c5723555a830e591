// Splits a fuzz input into the fields a target needs: the parts between NUL bytes, so that seeds
// are plain text with "\0" between fields. A part the input lacks is absent (nullopt), which the
// targets read as a missing variable or header. One call, no state.
#ifndef VARDOMAR_FUZZ_FUZZ_INPUT_H_
#define VARDOMAR_FUZZ_FUZZ_INPUT_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vard {

inline std::vector<std::optional<std::string>> SplitFuzzInput(const uint8_t* data, size_t size,
                                                              size_t parts) {
  std::vector<std::optional<std::string>> out(parts);
  size_t part = 0;
  std::string current;
  bool any = size > 0;
  for (size_t i = 0; i < size && part < parts; ++i) {
    if (data[i] == 0) {
      out[part++] = current;
      current.clear();
      any = i + 1 < size;
      continue;
    }
    current.push_back(static_cast<char>(data[i]));
  }
  if (part < parts && any) out[part] = current;
  return out;
}

}  // namespace vard

#endif  // VARDOMAR_FUZZ_FUZZ_INPUT_H_
