// The settings store's file format, in memory: keys as "[HKEY_LOCAL_MACHINE\path]" header lines,
// values as "name"="text" lines below them. Parsing keeps every line, so comments and lines it
// cannot read survive an update untouched. Plain value object: no shared state, use from one
// thread at a time.
#ifndef VARDOMAR_PLATFORM_REGISTRY_TEXT_H_
#define VARDOMAR_PLATFORM_REGISTRY_TEXT_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vard {

// A key path with empty components removed ("\\A\\\\B\\" becomes "A\\B").
std::string NormalizeKeyPath(std::string_view path);

// The text of one store file, owned by value.
class RegistryText {
 public:
  // What a lookup found. `data` is meaningful only when `zero_bytes` is false.
  struct Found {
    std::string data;
    bool zero_bytes = false;
  };

  RegistryText() = default;
  // Parses `text`; never fails. Lines that are neither blank, a comment, a key header nor a value
  // line are kept and otherwise ignored, as are values above the first header or under a header
  // of another hive.
  explicit RegistryText(std::string_view text);

  // Whether the key `path` (normalised here) exists: a header names it or a key below it, or it
  // is the hive root.
  bool HasKey(std::string_view path) const;

  // The value `name` (ignoring ASCII case) of key `path`; when the file lists it more than once
  // the last one counts. nullopt when absent.
  std::optional<Found> FindValue(std::string_view path, std::string_view name) const;

  // Appends a header for `path` unless the file already has one for exactly that key. False,
  // changing nothing, for a path that no header line can hold (see IsWritableKeyPath).
  bool AddKey(std::string_view path);

  // Makes `text` the string value `name` of key `path`: rewrites the line FindValue would read,
  // or adds one below the key's last header (adding the header when missing). False, changing
  // nothing, for a path that no header line can hold.
  bool SetString(std::string_view path, std::string_view name, std::string_view text);

  // The whole file, one LF-terminated line per line; lines kept from the parsed text keep a CR
  // before their line end.
  std::string ToText() const;

 private:
  struct Line {
    std::string raw;
    enum Kind { kOther, kHeader, kValue } kind = kOther;
    std::optional<std::string> key;  // header: its path; value: the path of the key above it
    std::string name;                // value lines
    Found value;                     // value lines
  };

  static Line ParseLine(std::string_view raw, const std::optional<std::string>& current_key);
  int LastHeaderOf(const std::string& key) const;  // -1 when none
  int LastValueLine(const std::string& key, std::string_view name) const;

  std::vector<Line> lines_;
};

// Whether a header line can hold the key path: it has no line break (names and texts are quoted,
// but a path stands bare in its header).
bool IsWritableKeyPath(std::string_view path);

// Writes `text` in the store's quoting: double quotes around it, with backslash, double quote
// and control bytes escaped.
std::string QuoteRegistryText(std::string_view text);

}  // namespace vard

#endif  // VARDOMAR_PLATFORM_REGISTRY_TEXT_H_
