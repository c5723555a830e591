#include "platform/registry_text.h"

#include <cstdio>

namespace vard {
namespace {

constexpr std::string_view kHiveNames[] = {"HKEY_LOCAL_MACHINE", "HKLM"};
constexpr std::string_view kHiveWritten = "HKEY_LOCAL_MACHINE";

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a quoted text at the start of `*s` and removes it from `*s`. Only \\, \" and \xHH are
// escapes; any other backslash stands for itself, so a hand-typed C:\dir survives. A \x00 would
// cut the value short for every reader, so it makes the line unreadable instead.
bool ReadQuoted(std::string_view* s, std::string* out) {
  if (s->empty() || s->front() != '"') return false;
  out->clear();
  size_t i = 1;
  while (i < s->size()) {
    const char c = (*s)[i];
    if (c == '"') {
      s->remove_prefix(i + 1);
      return true;
    }
    if (c == '\\' && i + 1 < s->size()) {
      const char e = (*s)[i + 1];
      if (e == '\\' || e == '"') {
        out->push_back(e);
        i += 2;
        continue;
      }
      if (e == 'x' && i + 3 < s->size() && HexDigit((*s)[i + 2]) >= 0 &&
          HexDigit((*s)[i + 3]) >= 0) {
        const int byte = HexDigit((*s)[i + 2]) * 16 + HexDigit((*s)[i + 3]);
        if (byte == 0) return false;
        out->push_back(static_cast<char>(byte));
        i += 4;
        continue;
      }
    }
    out->push_back(c);
    ++i;
  }
  return false;
}

// The key path of a header's inside ("HKEY_LOCAL_MACHINE\A\B"), or nullopt for another hive.
std::optional<std::string> HeaderKey(std::string_view inside) {
  const size_t slash = inside.find('\\');
  const std::string_view hive = inside.substr(0, slash);
  for (const std::string_view name : kHiveNames) {
    if (EqualsIgnoringCase(Trim(hive), name)) {
      return NormalizeKeyPath(slash == std::string_view::npos ? std::string_view()
                                                              : inside.substr(slash + 1));
    }
  }
  return std::nullopt;
}

}  // namespace

std::string NormalizeKeyPath(std::string_view path) {
  std::string result;
  while (!path.empty()) {
    const size_t slash = path.find('\\');
    const std::string_view part = path.substr(0, slash);
    if (!part.empty()) {
      if (!result.empty()) result.push_back('\\');
      result.append(part);
    }
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  return result;
}

std::string QuoteRegistryText(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '\\' || c == '"') {
      out.push_back('\\');
      out.push_back(c);
    } else if (u < 0x20 || u == 0x7f) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", u);
      out.append(escaped);
    } else {
      out.push_back(c);
    }
  }
  out.push_back('"');
  return out;
}

RegistryText::RegistryText(std::string_view text) {
  std::optional<std::string> current_key;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view raw = text.substr(0, end);
    Line line = ParseLine(raw, current_key);
    if (line.kind == Line::kHeader) current_key = line.key;
    lines_.push_back(std::move(line));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

RegistryText::Line RegistryText::ParseLine(std::string_view raw,
                                           const std::optional<std::string>& current_key) {
  Line line;
  // The raw text keeps a CR before its line feed, so that lines an update does not touch are
  // written back byte for byte (a CR LF file stays one, a stray CR is not eaten by each update);
  // Trim ignores it when reading.
  line.raw = std::string(raw);
  std::string_view s = Trim(raw);
  if (s.size() >= 2 && s.front() == '[' && s.back() == ']') {
    line.kind = Line::kHeader;
    line.key = HeaderKey(s.substr(1, s.size() - 2));
    return line;
  }
  if (s.empty() || s.front() != '"' || !current_key) return line;
  std::string name;
  if (!ReadQuoted(&s, &name)) return line;
  s = Trim(s);
  if (s.empty() || s.front() != '=') return line;
  s = Trim(s.substr(1));
  Found value;
  if (s.empty()) {
    value.zero_bytes = true;
  } else if (!ReadQuoted(&s, &value.data) || !Trim(s).empty()) {
    return line;
  }
  line.kind = Line::kValue;
  line.key = current_key;
  line.name = std::move(name);
  line.value = std::move(value);
  return line;
}

bool RegistryText::HasKey(std::string_view path) const {
  const std::string key = NormalizeKeyPath(path);
  if (key.empty()) return true;
  for (const Line& line : lines_) {
    if (line.kind != Line::kHeader || !line.key) continue;
    const std::string& h = *line.key;
    if (EqualsIgnoringCase(h, key) ||
        (h.size() > key.size() && h[key.size()] == '\\' &&
         EqualsIgnoringCase(std::string_view(h).substr(0, key.size()), key))) {
      return true;
    }
  }
  return false;
}

int RegistryText::LastHeaderOf(const std::string& key) const {
  for (int i = static_cast<int>(lines_.size()) - 1; i >= 0; --i) {
    const Line& line = lines_[i];
    if (line.kind == Line::kHeader && line.key && EqualsIgnoringCase(*line.key, key)) return i;
  }
  return -1;
}

int RegistryText::LastValueLine(const std::string& key, std::string_view name) const {
  for (int i = static_cast<int>(lines_.size()) - 1; i >= 0; --i) {
    const Line& line = lines_[i];
    if (line.kind == Line::kValue && EqualsIgnoringCase(*line.key, key) &&
        EqualsIgnoringCase(line.name, name)) {
      return i;
    }
  }
  return -1;
}

std::optional<RegistryText::Found> RegistryText::FindValue(std::string_view path,
                                                           std::string_view name) const {
  const int i = LastValueLine(NormalizeKeyPath(path), name);
  if (i < 0) return std::nullopt;
  return lines_[i].value;
}

bool IsWritableKeyPath(std::string_view path) {
  return path.find_first_of("\r\n") == std::string_view::npos;
}

bool RegistryText::AddKey(std::string_view path) {
  if (!IsWritableKeyPath(path)) return false;
  const std::string key = NormalizeKeyPath(path);
  if (LastHeaderOf(key) >= 0) return true;
  if (!lines_.empty() && !Trim(lines_.back().raw).empty()) lines_.push_back(Line{});
  Line header;
  header.kind = Line::kHeader;
  header.key = key;
  header.raw = "[" + std::string(kHiveWritten) + (key.empty() ? "" : "\\") + key + "]";
  lines_.push_back(std::move(header));
  return true;
}

bool RegistryText::SetString(std::string_view path, std::string_view name, std::string_view text) {
  if (!IsWritableKeyPath(path)) return false;
  const std::string key = NormalizeKeyPath(path);
  Line line;
  line.kind = Line::kValue;
  line.key = key;
  line.value.data = std::string(text);
  const int existing = LastValueLine(key, name);
  if (existing >= 0) {
    // The name keeps the letter case it was first stored with, as the registry does.
    line.name = lines_[existing].name;
    line.raw = QuoteRegistryText(line.name) + "=" + QuoteRegistryText(text);
    lines_[existing] = std::move(line);
    return true;
  }
  AddKey(key);
  int at = LastHeaderOf(key);
  for (int i = at + 1; i < static_cast<int>(lines_.size()); ++i) {
    if (lines_[i].kind == Line::kHeader) break;
    if (lines_[i].kind == Line::kValue) at = i;
  }
  line.name = std::string(name);
  line.raw = QuoteRegistryText(line.name) + "=" + QuoteRegistryText(text);
  lines_.insert(lines_.begin() + at + 1, std::move(line));
  return true;
}

std::string RegistryText::ToText() const {
  std::string out;
  for (const Line& line : lines_) {
    out += line.raw;
    out.push_back('\n');
  }
  return out;
}

}  // namespace vard
