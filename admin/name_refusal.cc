#include "admin/name_refusal.h"

#include "cgi/html.h"
#include "cgi/page.h"
#include "schema/storable.h"

namespace vard {

bool RefuseUnstorableSectionName(std::string_view subject, std::string_view name) {
  if (IsStorableSectionName(name)) return false;
  Write(subject);
  Write(" <b>");
  WriteEscaped(name);
  Write(
      "</b> can not be used - a name may not hold &quot;:&quot;, &quot;;&quot; or control "
      "characters, start or end with a blank or be longer than ");
  WriteInt(kMaxEntryName);
  Write(" characters !");
  return true;
}

}  // namespace vard
