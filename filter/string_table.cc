#include "filter/string_table.h"

#include <cstring>
#include <string_view>

namespace vard {
namespace {

struct TableEntry {
  unsigned id;
  std::string_view text;
};

constexpr TableEntry kStringTable[] = {
    {kFilterDescriptionString, "vardfilt Filter"},
};

}  // namespace

size_t LoadResourceString(unsigned id, char* buf, size_t cap) {
  if (buf == nullptr || cap == 0) return 0;
  buf[0] = '\0';
  for (const TableEntry& entry : kStringTable) {
    if (entry.id != id) continue;
    const size_t n = entry.text.size() < cap - 1 ? entry.text.size() : cap - 1;
    std::memcpy(buf, entry.text.data(), n);
    buf[n] = '\0';
    return n;
  }
  return 0;
}

}  // namespace vard
