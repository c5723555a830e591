#include "userpages/user_markup.h"

#include "cgi/html.h"
#include "cgi/page.h"

namespace vard {

void WriteHidden(std::string_view name, std::string_view value) {
  Write("<input type=\"hidden\" name=\"");
  Write(name);
  Write("\" value=\"");
  WriteEscaped(value);
  WriteLine("\">");
}

void WriteTextBox(std::string_view name, std::string_view value) {
  Write("<input type=\"text\" name=\"");
  Write(name);
  Write("\" size=\"20\" value=\"");
  WriteEscaped(value);
  Write("\">");
}

void WriteSubmit(std::string_view caption) {
  Write("<input type=\"submit\" value=\"");
  Write(caption);
  Write("\" name=\"B1\">");
}

void WriteOption(std::string_view text, bool selected) {
  Write(selected ? "<option selected value=\"" : "<option value=\"");
  WriteEscaped(text);
  Write("\">");
  WriteEscaped(text);
  WriteLine("</option>");
}

void WriteSectionOptions(const TreeSection& list) {
  for (int i = 1; i <= list.Count(); ++i) {
    const TreeSection* section = list.GetSectionAt(i);
    if (!section->IsNull()) WriteOption(NameOf(section), false);
  }
}

std::string_view NameOf(const NamedObject* object) {
  const char* name = object->GetName();
  return name != nullptr ? std::string_view(name) : std::string_view();
}

}  // namespace vard
