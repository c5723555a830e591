#include "tests/filter_host.h"

#include <dlfcn.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vard::test {
namespace {

// A credential buffer must hold at least its terminator.
size_t BufferSize(DWORD capacity) { return capacity > 0 ? capacity : 1; }

// Writes `text` cut to `size` - 1 bytes, terminated, into `buffer`.
void FillCredential(char* buffer, size_t size, const std::string& text) {
  const size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

}  // namespace

ScriptedRequest ScriptedRequest::For(std::string_view host, std::string_view port,
                                     std::string_view user, std::string_view password,
                                     std::string_view script) {
  ScriptedRequest request;
  request.variables = {{"SERVER_NAME", std::string(host)},
                       {"SERVER_PORT", std::string(port)},
                       {"SCRIPT_NAME", std::string(script)}};
  request.user = user;
  request.password = password;
  return request;
}

ScriptedRequest& ScriptedRequest::Variable(std::string_view name, std::string_view value,
                                           bool available) {
  for (auto it = variables.begin(); it != variables.end(); ++it) {
    if (it->first == name) {
      variables.erase(it);
      break;
    }
  }
  if (available) variables.emplace_back(std::string(name), std::string(value));
  return *this;
}

HostRequest::HostRequest(ScriptedRequest request)
    : request_(std::move(request)),
      user_buffer_(std::make_unique<char[]>(BufferSize(request_.user_capacity))),
      password_buffer_(std::make_unique<char[]>(BufferSize(request_.password_capacity))) {
  context_.cbSize = sizeof context_;
  context_.Revision = HTTP_FILTER_REVISION;
  context_.ServerContext = this;
  context_.GetServerVariable = &HostRequest::GetServerVariable;
  context_.ServerSupportFunction = &HostRequest::ServerSupportFunction;
  Reset();
}

void HostRequest::Reset() {
  FillCredential(user_buffer_.get(), BufferSize(request_.user_capacity), request_.user);
  FillCredential(password_buffer_.get(), BufferSize(request_.password_capacity), request_.password);
  credentials_.pszUser = user_buffer_.get();
  credentials_.cbUserBuff = request_.user_capacity;
  credentials_.pszPassword = password_buffer_.get();
  credentials_.cbPasswordBuff = request_.password_capacity;
  status_lines_sent_ = 0;
  status_line_.clear();
}

AuthResult HostRequest::Result(DWORD status, int error) const {
  AuthResult result;
  result.status = status;
  result.error = error;
  result.status_lines_sent = status_lines_sent_;
  result.status_line = status_line_;
  result.user.assign(user_buffer_.get(), strnlen(user_buffer_.get(), credentials_.cbUserBuff));
  result.password.assign(password_buffer_.get(),
                         strnlen(password_buffer_.get(), credentials_.cbPasswordBuff));
  return result;
}

BOOL HostRequest::GetServerVariable(PHTTP_FILTER_CONTEXT pfc, LPSTR name, LPVOID buffer,
                                    LPDWORD size) {
  const auto* self = static_cast<const HostRequest*>(pfc->ServerContext);
  for (const auto& [variable, value] : self->request_.variables) {
    if (variable != name) continue;
    const DWORD needed = static_cast<DWORD>(value.size() + 1);
    if (buffer == nullptr || *size < needed) {
      *size = needed;
      return FALSE;
    }
    std::memcpy(buffer, value.c_str(), needed);
    *size = needed;
    return TRUE;
  }
  return FALSE;
}

BOOL HostRequest::ServerSupportFunction(PHTTP_FILTER_CONTEXT pfc, DWORD request, LPVOID data,
                                        ULONG_PTR, ULONG_PTR) {
  auto* self = static_cast<HostRequest*>(pfc->ServerContext);
  if (request != SF_REQ_SEND_RESPONSE_HEADER) return FALSE;
  ++self->status_lines_sent_;
  self->status_line_ = data != nullptr ? static_cast<const char*>(data) : "";
  return TRUE;
}

std::string FilterLibrary::DefaultPath() {
  const char* bin = std::getenv("VARD_BIN");
  return std::string(bin != nullptr && *bin != '\0' ? bin : VARD_DEFAULT_BIN) + "/vardfilt.so";
}

std::unique_ptr<FilterLibrary> FilterLibrary::Load(const std::string& path, std::string* error) {
  const std::string file = path.empty() ? DefaultPath() : path;
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    if (error != nullptr) *error = dlerror();
    return nullptr;
  }
  auto get_version = reinterpret_cast<PFN_GetFilterVersion>(dlsym(handle, "GetFilterVersion"));
  auto proc = reinterpret_cast<PFN_HttpFilterProc>(dlsym(handle, "HttpFilterProc"));
  if (get_version == nullptr || proc == nullptr) {
    if (error != nullptr) *error = file + ": an entry point is missing";
    dlclose(handle);
    return nullptr;
  }
  return std::unique_ptr<FilterLibrary>(new FilterLibrary(handle, get_version, proc));
}

FilterLibrary::FilterLibrary(void* handle, PFN_GetFilterVersion get_version,
                             PFN_HttpFilterProc proc)
    : handle_(handle), get_filter_version_(get_version), http_filter_proc_(proc) {}

FilterLibrary::~FilterLibrary() { dlclose(handle_); }

BOOL FilterLibrary::GetFilterVersion(HTTP_FILTER_VERSION* version) const {
  return get_filter_version_(version);
}

DWORD FilterLibrary::HttpFilterProc(HTTP_FILTER_CONTEXT* context, DWORD notification_type,
                                    void* notification) const {
  return http_filter_proc_(context, notification_type, notification);
}

DWORD FilterLibrary::Authenticate(HostRequest& request) const {
  errno = 0;
  return http_filter_proc_(request.context(), SF_NOTIFY_AUTHENTICATION, request.credentials());
}

AuthResult FilterLibrary::Authenticate(const ScriptedRequest& scripted) const {
  HostRequest request(scripted);
  const DWORD status = Authenticate(request);
  const int error = errno;
  return request.Result(status, error);
}

}  // namespace vard::test
