// The library's two exported entry points and its filter object, which lives from the moment the
// web server loads the library to the moment it unloads it. Everything else in the library is
// hidden (compiled with hidden visibility and cut by the linker's version script).
#include "filter/auth_filter.h"
#include "filter/filter_object.h"
#include "platform/isapi.h"

namespace {

// Built by the library's static initialisation when it is loaded and destroyed when it is
// unloaded. The tree's shared missing objects and the Env it uses are constant-initialised or
// made on first use, so the order of initialisation inside the library does not matter.
const vard::FilterLifetime g_filter(std::make_unique<vard::AuthFilter>());

}  // namespace

extern "C" {

__attribute__((visibility("default"))) BOOL GetFilterVersion(HTTP_FILTER_VERSION* version) {
  return vard::ForwardGetFilterVersion(version);
}

__attribute__((visibility("default"))) DWORD HttpFilterProc(HTTP_FILTER_CONTEXT* context,
                                                            DWORD notification_type,
                                                            LPVOID notification) {
  return vard::ForwardHttpFilterProc(context, notification_type, notification);
}

}  // extern "C"
