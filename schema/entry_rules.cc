#include "schema/entry_rules.h"

#include "schema/expire_date.h"
#include "schema/names.h"
#include "schema/storable.h"

namespace vard {

NameVerdict CheckSectionName(std::string_view name) {
  if (name.empty()) return NameVerdict::kEmpty;
  if (!IsStorableSectionName(name)) return NameVerdict::kUnstorable;
  return NameVerdict::kAccepted;
}

NameVerdict CheckUserName(const TreeSection& authority, std::string_view name) {
  const NameVerdict verdict = CheckSectionName(name);
  if (verdict != NameVerdict::kAccepted) return verdict;
  return IsReservedUserName(authority, name) ? NameVerdict::kReserved : NameVerdict::kAccepted;
}

bool IsReservedUserName(const TreeSection& authority, std::string_view name) {
  return !authority.GetValue(name)->IsNull();
}

DateVerdict CheckExpireDate(const char* text) {
  if (text == nullptr || *text == '\0') return DateVerdict::kAccepted;
  int month = 0;
  int day = 0;
  int year = 0;
  if (!ReadExpireDate(text, &month, &day, &year)) return DateVerdict::kUnreadable;
  return year > kLastSupportedYear ? DateVerdict::kYearTooLate : DateVerdict::kAccepted;
}

BindingVerdict CheckBinding(std::string_view host, std::string_view port_text, std::string_view key,
                            std::string_view authority) {
  std::string_view rest = port_text;
  int port = 0;
  ScanLeadingInt(&rest, &port);
  if (port <= 0) return BindingVerdict::kBadPort;
  if (host.empty()) return BindingVerdict::kNoHost;
  if (!IsStorableBindingHost(host)) return BindingVerdict::kBadHost;
  // The host is sound, so what keeps the key from being stored is its length or the port text.
  if (!IsStorableValueName(key)) {
    return key.size() <= kMaxEntryName ? BindingVerdict::kBadPort : BindingVerdict::kTooLong;
  }
  if (!IsStorableValueText(authority)) return BindingVerdict::kBadAuthority;
  return BindingVerdict::kAccepted;
}

bool RecordTextsStorable(const UserRecord& record, char* which) {
  char failing = 0;
  if (!IsStorableValueText(record.password)) {
    failing = 'p';
  } else if (record.mapped && !IsStorableValueText(record.map_to)) {
    failing = 'm';
  } else if (!IsStorableValueText(record.expire_date)) {
    failing = 'e';
  }
  if (failing != 0 && which != nullptr) *which = failing;
  return failing == 0;
}

void WriteUserRecord(TreeSection* user, const UserRecord& record) {
  user->AddString(kPassword, record.password);
  user->AddInt(kDoNotMap, record.mapped ? 0 : 1);
  // The mapping is read back from the stored flag so that MapTo follows what the file says.
  if (user->GetValue(kDoNotMap)->GetInt() == 0) user->AddString(kMapTo, record.map_to);
  user->AddString(kExpireDate, record.expire_date);
  user->AddInt(kNoExpiration, record.no_expiration);
  user->AddInt(kDisabled, record.disabled);
}

UserRecord ReadUserRecord(const TreeSection& user) {
  UserRecord record;
  record.password = user.GetValue(kPassword)->GetString();
  record.mapped = user.GetValue(kDoNotMap)->GetInt() == 0;
  record.map_to = user.GetValue(kMapTo)->GetString();
  record.expire_date = user.GetValue(kExpireDate)->GetString();
  record.no_expiration = user.GetValue(kNoExpiration)->GetInt();
  record.disabled = user.GetValue(kDisabled)->GetInt();
  return record;
}

}  // namespace vard
