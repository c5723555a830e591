#include "admin/section_options.h"

#include <string>

#include "cgi/html.h"
#include "cgi/page.h"

namespace vard {

void WriteSectionOptions(const TreeSection& list) {
  for (int i = 1; i <= list.Count(); ++i) {
    const auto* child = static_cast<const TreeNode*>(list.At(i));
    if (child == nullptr || child->IsValue()) continue;
    const std::string name = HtmlEscape(child->GetName() ? child->GetName() : "");
    Write("<option value=\"");
    Write(name);
    Write("\">");
    Write(name);
    WriteLine("</option>");
  }
}

}  // namespace vard
