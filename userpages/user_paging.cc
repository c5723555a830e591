#include "userpages/user_paging.h"

#include <algorithm>
#include <string>

#include "cgi/html.h"
#include "cgi/page.h"
#include "tree/named_object.h"
#include "tree/text_format.h"
#include "userpages/user_markup.h"

namespace vard {
namespace {

constexpr std::string_view kNavigationFields[] = {"Authority", "Find", "Page"};

// The Previous or Next link to page `number`.
void WritePageLink(const UserScope& scope, std::string_view action, const UserPage& page,
                   int number, std::string_view caption) {
  const std::string text = std::to_string(number);
  Write(" <a href=\"");
  if (scope.edition == Edition::kAdmin) {
    WriteActionUrl(action,
                   {{"Authority", scope.posted_authority}, {"Find", page.find}, {"Page", text}});
  } else {
    WriteActionUrl(action, {{"Find", page.find}, {"Page", text}});
  }
  Write("\">");
  Write(caption);
  Write("</a>");
}

// "Users 201 to 400 of 1000", the filter named when there is one, or the note that nothing
// matches it.
void WritePosition(const UserPage& page) {
  if (page.matches == 0) {
    Write("No user name contains <b>");
    WriteEscaped(page.find);
    Write("</b>.");
    return;
  }
  const int first = (page.number - 1) * kUsersPerPage + 1;
  Write("Users ");
  WriteInt(first);
  Write(" to ");
  WriteInt(first + static_cast<int>(page.users.size()) - 1);
  Write(" of ");
  WriteInt(page.matches);
  if (!page.find.empty()) {
    Write(" whose name contains <b>");
    WriteEscaped(page.find);
    Write("</b>");
  }
  Write(".");
}

}  // namespace

void ReadNavigationFields(const FieldSet& form, const FieldSet& query, FieldSet* fields) {
  for (const std::string_view name : kNavigationFields) {
    const Field& posted = form.Get(name);
    const Field& field = &posted != &Field::Empty ? posted : query.Get(name);
    fields->AddPair(name, field.Text());
  }
}

bool NameContains(std::string_view name, std::string_view part) {
  const auto same = [](char a, char b) { return FoldCase(a) == FoldCase(b); };
  return std::search(name.begin(), name.end(), part.begin(), part.end(), same) != name.end();
}

UserPage ChooseUserPage(const TreeSection& authority, const FieldSet& fields) {
  UserPage page;
  for (int i = 1; i <= authority.Count(); ++i) {
    const TreeSection* user = authority.GetSectionAt(i);
    if (!user->IsNull()) page.users.push_back(user);
  }
  page.matches = static_cast<int>(page.users.size());
  if (page.matches <= kUsersPerPage) return page;

  page.paged = true;
  // Cut to the longest name there can be: more could match no name and would only swell the
  // page and its links.
  page.find = std::string_view(fields.Get("Find").Text()).substr(0, kMaxEntryName);
  std::erase_if(page.users,
                [&](const TreeSection* user) { return !NameContains(NameOf(user), page.find); });
  page.matches = static_cast<int>(page.users.size());
  page.pages = std::max(1, (page.matches + kUsersPerPage - 1) / kUsersPerPage);
  page.number = std::clamp(fields.Get("Page").Int(), 1, page.pages);
  const auto first = page.users.begin() + (page.number - 1) * kUsersPerPage;
  const auto end =
      page.users.end() - first > kUsersPerPage ? first + kUsersPerPage : page.users.end();
  page.users = std::vector<const TreeSection*>(first, end);
  return page;
}

void WritePageNavigation(const UserScope& scope, std::string_view action, const UserPage& page) {
  WriteFormStart(action);
  if (scope.edition == Edition::kAdmin) WriteHidden("Authority", scope.posted_authority);
  Write("<p>Name contains: ");
  WriteTextBox("Find", page.find);
  Write(" ");
  WriteSubmit("Find");
  WriteLine("</p>");
  WriteLine("</form>");
  Write("<p>");
  WritePosition(page);
  if (page.number > 1) WritePageLink(scope, action, page, page.number - 1, "Previous");
  if (page.number < page.pages) WritePageLink(scope, action, page, page.number + 1, "Next");
  WriteLine("</p>");
}

bool RefuseUnknownUser(const UserScope& scope, const FieldSet& form) {
  if (form.Get(kMustExistField).Int() == 0 || scope.authority->IsNull()) return false;
  const std::string_view name = form.Get("User").Text();
  if (!scope.authority->GetSection(name)->IsNull()) return false;
  Write("User <b>");
  WriteEscaped(name);
  WriteLine("</b> not found !");
  return true;
}

}  // namespace vard
