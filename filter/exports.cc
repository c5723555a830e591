// The library's two exported entry points and its filter object, which lives from the moment the
// web server loads the library to the moment it unloads it. This is the one place where the
// filter's answers become the interface's status and last-error codes. Everything else in the
// library is hidden (compiled with hidden visibility and cut by the linker's version script).
#include "filter/auth_filter.h"
#include "filter/filter_object.h"
#include "platform/isapi.h"

namespace {

// Built by the library's static initialisation when it is loaded and destroyed when it is
// unloaded. The tree's shared missing objects and the Env it uses are constant-initialised or
// made on first use, so the order of initialisation inside the library does not matter.
const vard::FilterLifetime g_filter(std::make_unique<vard::AuthFilter>());

// The code a host of the interface expects as the last error of a failed request; hosts written
// for the interface know these numbers, not errno's.
DWORD InterfaceError(vard::FilterError error) {
  switch (error) {
    case vard::FilterError::kNone:
      return 0;
    case vard::FilterError::kNotFound:
      return ERROR_FILE_NOT_FOUND;
    case vard::FilterError::kBufferTooSmall:
      return ERROR_INSUFFICIENT_BUFFER;
    case vard::FilterError::kBadConfiguration:
      return ERROR_BAD_CONFIGURATION;
  }
  return ERROR_BAD_CONFIGURATION;
}

// The interface's status for `answer`; a failure also leaves its code for the host, as the
// interface's last error, and that only after the filter's own work, so no call of the filter
// can change it on the way out.
DWORD InterfaceStatus(vard::FilterAnswer answer) {
  switch (answer.status) {
    case vard::FilterStatus::kNextNotification:
      return SF_STATUS_REQ_NEXT_NOTIFICATION;
    case vard::FilterStatus::kHandledNotification:
      return SF_STATUS_REQ_HANDLED_NOTIFICATION;
    case vard::FilterStatus::kError:
      SetLastError(InterfaceError(answer.error));
      return SF_STATUS_REQ_ERROR;
  }
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) BOOL GetFilterVersion(HTTP_FILTER_VERSION* version) {
  return vard::ForwardGetFilterVersion(version) ? TRUE : FALSE;
}

__attribute__((visibility("default"))) DWORD HttpFilterProc(HTTP_FILTER_CONTEXT* context,
                                                            DWORD notification_type,
                                                            LPVOID notification) {
  return InterfaceStatus(vard::ForwardHttpFilterProc(context, notification_type, notification));
}

}  // extern "C"
