/* mod_vardfilt: hosts an authentication filter library written to the classic web-server filter
 * interface (platform/isapi.h) inside Apache httpd 2.4.
 *
 *   LoadModule vardfilt_module /path/mod_vardfilt.so
 *   IsapiFilter /path/vardfilt.so
 *   IsapiFilterPassCredentials On      (optional, per directory; see accept_mapped)
 *   IsapiFilterLogLevel warn [off]    (refusals, successes: one error-log line each)
 *
 * Each child process loads the library once (child_init) and asks it for its version and flags.
 * At the authentication step of every request under "AuthType Basic" the typed credentials are
 * shown to the filter, which may map them to an account (the request then runs as that account),
 * refuse them (401 with the filter's status line and a Basic challenge), pass them on (Apache's
 * own AuthBasicProvider decides) or fail the request (500).
 *
 * The site a request is for (SERVER_NAME, SERVER_PORT) chooses the authority that judges it, so
 * it comes from the virtual host Apache chose and the port the connection arrived on, never from
 * what the client wrote in its Host header alone. The same pair is handed to CGI programs as
 * VARDOMAR_SITE_NAME and VARDOMAR_SITE_PORT for the site manager.
 *
 * Thread safety: the per-process state below is written only in child_init, before the MPM starts
 * its worker threads, and only read afterwards; everything a request needs lives on its stack or
 * in its pool, so the hook runs on any number of threads at once. */

#include <dlfcn.h>
#include <errno.h>
#include <string.h>

#include "apr_base64.h"
#include "apr_lib.h"
#include "apr_strings.h"

/* httpd.h comes first: the other httpd headers build on its types. */
/* clang-format off */
#include "httpd.h"
#include "http_config.h"
#include "http_core.h"
#include "http_log.h"
#include "http_main.h"
#include "http_protocol.h"
#include "http_request.h"
#include "http_ssl.h"
#include "util_script.h"
/* clang-format on */

#include "platform/isapi.h"
#include "platform/site_env.h"

module AP_MODULE_DECLARE_DATA vardfilt_module;

/* Windows error codes the callbacks leave through SetLastError, as a filter expects them. */
#define VARDFILT_ERROR_NOT_SUPPORTED 50u
#define VARDFILT_ERROR_INVALID_PARAMETER 87u
#define VARDFILT_ERROR_INSUFFICIENT_BUFFER 122u
#define VARDFILT_ERROR_INVALID_INDEX 1413u

/* The credential buffers a filter may rewrite in place: 256 characters and the terminator, the
 * capacity filters written for the interface have always been given. */
#define VARDFILT_CREDENTIAL_CAPACITY 257

/* A log level that writes nothing. */
#define VARDFILT_LOG_OFF (-1)

typedef struct {
  const char *library; /* path named by IsapiFilter; NULL when the server hosts no filter */
  /* IsapiFilterLogLevel: the error-log level of the line written for each refusal and for each
   * visitor the filter mapped to an account; VARDFILT_LOG_OFF writes none. */
  int refusal_level;
  int success_level;
} vardfilt_server_conf;

typedef struct {
  int pass_credentials; /* IsapiFilterPassCredentials: 1 on, 0 off, -1 not set here */
} vardfilt_dir_conf;

/* What this child process knows of its filter. Written once in child_init, read-only after. */
static struct {
  PFN_HttpFilterProc proc; /* NULL: nothing to call */
  DWORD flags;             /* dwFlags from GetFilterVersion */
  int broken;              /* configured but unusable: requests that need a user fail (500) */
} vardfilt_process;

/* One call of the filter: the context it receives and what its callbacks collect. Lives on the
 * stack of the hook for the duration of that call. */
typedef struct {
  HTTP_FILTER_CONTEXT context;
  request_rec *r;
  const char *status_line; /* set by SF_REQ_SEND_RESPONSE_HEADER: the filter refused */
} vardfilt_call;

static void *vardfilt_create_server_conf(apr_pool_t *pool, server_rec *s) {
  (void)s;
  vardfilt_server_conf *conf = apr_pcalloc(pool, sizeof(vardfilt_server_conf));
  conf->refusal_level = APLOG_WARNING;
  conf->success_level = VARDFILT_LOG_OFF;
  return conf;
}

static void *vardfilt_create_dir_conf(apr_pool_t *pool, char *dir) {
  (void)dir;
  vardfilt_dir_conf *conf = apr_pcalloc(pool, sizeof(vardfilt_dir_conf));
  conf->pass_credentials = -1;
  return conf;
}

static void *vardfilt_merge_dir_conf(apr_pool_t *pool, void *base_conf, void *add_conf) {
  const vardfilt_dir_conf *base = base_conf;
  const vardfilt_dir_conf *add = add_conf;
  vardfilt_dir_conf *conf = apr_pcalloc(pool, sizeof(vardfilt_dir_conf));
  conf->pass_credentials =
      add->pass_credentials != -1 ? add->pass_credentials : base->pass_credentials;
  return conf;
}

static const char *vardfilt_set_library(cmd_parms *cmd, void *dir, const char *path) {
  (void)dir;
  const char *error = ap_check_cmd_context(cmd, GLOBAL_ONLY);
  if (error != NULL) {
    return error;
  }
  vardfilt_server_conf *conf = ap_get_module_config(cmd->server->module_config, &vardfilt_module);
  conf->library = ap_server_root_relative(cmd->pool, path);
  if (conf->library == NULL) {
    return apr_pstrcat(cmd->pool, "IsapiFilter: invalid path ", path, NULL);
  }
  return NULL;
}

/* A level name as LogLevel spells it ("warn", "info", ...), or "off". */
static const char *parse_log_level(apr_pool_t *pool, const char *name, int *level) {
  if (!ap_cstr_casecmp(name, "off")) {
    *level = VARDFILT_LOG_OFF;
    return NULL;
  }
  return ap_parse_log_level(name, level) == NULL
             ? NULL
             : apr_pstrcat(pool, "IsapiFilterLogLevel: unknown level ", name, NULL);
}

static const char *vardfilt_set_log_level(cmd_parms *cmd, void *dir, const char *refusals,
                                          const char *successes) {
  (void)dir;
  const char *error = ap_check_cmd_context(cmd, GLOBAL_ONLY);
  if (error != NULL) {
    return error;
  }
  vardfilt_server_conf *conf = ap_get_module_config(cmd->server->module_config, &vardfilt_module);
  error = parse_log_level(cmd->pool, refusals, &conf->refusal_level);
  if (error == NULL && successes != NULL) {
    error = parse_log_level(cmd->pool, successes, &conf->success_level);
  }
  return error;
}

static const command_rec vardfilt_cmds[] = {
    AP_INIT_TAKE1("IsapiFilter", vardfilt_set_library, NULL, RSRC_CONF,
                  "Path of the filter library to call at the authentication step"),
    /* Not in .htaccess files: whoever writes one must not be able to hand the account's password
     * to the programs beside it. */
    AP_INIT_FLAG("IsapiFilterPassCredentials", ap_set_flag_slot,
                 (void *)APR_OFFSETOF(vardfilt_dir_conf, pass_credentials), RSRC_CONF | ACCESS_CONF,
                 "On: hand the mapped account's name and password on in the Authorization header"),
    AP_INIT_TAKE12("IsapiFilterLogLevel", vardfilt_set_log_level, NULL, RSRC_CONF,
                   "Error-log level of the line for each refusal (default warn) and for each "
                   "mapped visitor (default off); \"off\" writes none"),
    {NULL}};

static request_rec *call_request(PHTTP_FILTER_CONTEXT pfc) {
  return ((vardfilt_call *)pfc->ServerContext)->r;
}

/* Whether `host` is a name of the virtual host `s`: its ServerName or one of its ServerAlias
 * names (wildcards included), compared as Apache compares them when it picks the virtual host. */
static int is_name_of(const server_rec *s, const char *host) {
  if (s->server_hostname != NULL && !ap_cstr_casecmp(host, s->server_hostname)) {
    return 1;
  }
  if (s->names != NULL) {
    const char *const *names = (const char *const *)s->names->elts;
    for (int i = 0; i < s->names->nelts; i++) {
      if (names[i] != NULL && !ap_cstr_casecmp(host, names[i])) {
        return 1;
      }
    }
  }
  if (s->wild_names != NULL) {
    const char *const *names = (const char *const *)s->wild_names->elts;
    for (int i = 0; i < s->wild_names->nelts; i++) {
      if (names[i] != NULL && !ap_strcasecmp_match(host, names[i])) {
        return 1;
      }
    }
  }
  return 0;
}

/* The site's name as its bindings know it: the host the visitor asked for when it is a name of
 * the virtual host serving the request, else that virtual host's ServerName. With Apache's
 * default "UseCanonicalName Off" its own answer is the Host header as sent, which would let any
 * visitor pick another site's binding. `foreign` (may be NULL) tells that the Host header named
 * something else. */
static const char *site_name(request_rec *r, int *foreign) {
  const int asked = r->hostname != NULL && *r->hostname != '\0';
  const int matched = asked && is_name_of(r->server, r->hostname);
  if (foreign != NULL) {
    *foreign = asked && !matched;
  }
  return matched ? r->hostname : r->server->server_hostname;
}

/* The port the connection arrived on; a port in the Host header is the client's word only. */
static const char *site_port(request_rec *r) {
  return apr_psprintf(r->pool, "%u", (unsigned)r->connection->local_addr->port);
}

/* The server variables a filter may read; NULL for a name this host does not offer. */
static const char *server_variable(request_rec *r, const char *name) {
  if (!ap_cstr_casecmp(name, "SERVER_NAME")) {
    return site_name(r, NULL);
  }
  if (!ap_cstr_casecmp(name, "SERVER_PORT")) {
    return site_port(r);
  }
  if (!ap_cstr_casecmp(name, "SCRIPT_NAME")) {
    if (r->uri == NULL) {
      return NULL;
    }
    /* The same split of the URI that CGI programs see as SCRIPT_NAME and PATH_INFO. */
    if (r->path_info && *r->path_info) {
      return apr_pstrndup(r->pool, r->uri, ap_find_path_info(r->uri, r->path_info));
    }
    return r->uri;
  }
  return NULL;
}

static BOOL get_server_variable(PHTTP_FILTER_CONTEXT pfc, LPSTR name, LPVOID buffer, LPDWORD size) {
  if (pfc == NULL || name == NULL || size == NULL) {
    SetLastError(VARDFILT_ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const char *value = server_variable(call_request(pfc), name);
  if (value == NULL) {
    SetLastError(VARDFILT_ERROR_INVALID_INDEX);
    return FALSE;
  }
  const size_t needed = strlen(value) + 1;
  if (buffer == NULL || *size < needed) {
    *size = (DWORD)needed;
    SetLastError(VARDFILT_ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  memcpy(buffer, value, needed);
  *size = (DWORD)needed;
  return TRUE;
}

/* Adds "Name: value" lines (separated by CR LF or LF) to the headers of the response the request
 * ends with. Refuses the whole text, adding nothing, when a line is not a header: the text ends up
 * on the wire, so nothing may smuggle a line break or a bare name into it. */
static BOOL add_headers(request_rec *r, const char *text) {
  apr_table_t *parsed = apr_table_make(r->pool, 4);
  const char *line = text;
  while (*line) {
    size_t length = strcspn(line, "\n");
    const char *next = line + length + (line[length] == '\n');
    if (length > 0 && line[length - 1] == '\r') {
      length--;
    }
    if (length > 0) {
      const char *colon = memchr(line, ':', length);
      if (colon == NULL || colon == line) {
        return FALSE;
      }
      for (const char *c = line; c < colon; c++) {
        if (!apr_isgraph(*c)) {
          return FALSE;
        }
      }
      const char *value = colon + 1;
      while (value < line + length && (*value == ' ' || *value == '\t')) {
        value++;
      }
      for (const char *c = value; c < line + length; c++) {
        if (apr_iscntrl(*c) && *c != '\t') {
          return FALSE;
        }
      }
      apr_table_addn(parsed, apr_pstrmemdup(r->pool, line, (apr_size_t)(colon - line)),
                     apr_pstrmemdup(r->pool, value, (apr_size_t)(line + length - value)));
    }
    line = next;
  }
  r->err_headers_out = apr_table_overlay(r->pool, r->err_headers_out, parsed);
  return TRUE;
}

static BOOL add_response_headers(PHTTP_FILTER_CONTEXT pfc, LPSTR headers, DWORD reserved) {
  (void)reserved;
  if (pfc == NULL || headers == NULL || !add_headers(call_request(pfc), headers)) {
    SetLastError(VARDFILT_ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}

/* The authentication step runs before any response exists, so there is nothing to write into. */
static BOOL write_client(PHTTP_FILTER_CONTEXT pfc, LPVOID buffer, LPDWORD bytes, DWORD reserved) {
  (void)pfc;
  (void)buffer;
  (void)bytes;
  (void)reserved;
  SetLastError(VARDFILT_ERROR_NOT_SUPPORTED);
  return FALSE;
}

/* Memory that lives as long as the request, like the classic host's. */
static LPVOID alloc_mem(PHTTP_FILTER_CONTEXT pfc, DWORD size, DWORD reserved) {
  (void)reserved;
  return pfc == NULL ? NULL : apr_palloc(call_request(pfc)->pool, size > 0 ? size : 1);
}

/* A status line as the response may carry it: three digits, then nothing or a space and text
 * without control characters. */
static int valid_status_line(const char *line) {
  if (!apr_isdigit(line[0]) || !apr_isdigit(line[1]) || !apr_isdigit(line[2]) ||
      (line[3] != '\0' && line[3] != ' ')) {
    return 0;
  }
  for (const char *c = line; *c; c++) {
    if (apr_iscntrl(*c)) {
      return 0;
    }
  }
  return 1;
}

static BOOL server_support_function(PHTTP_FILTER_CONTEXT pfc, DWORD request, LPVOID data,
                                    ULONG_PTR ul1, ULONG_PTR ul2) {
  (void)ul2;
  if (pfc == NULL) {
    SetLastError(VARDFILT_ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (request != SF_REQ_SEND_RESPONSE_HEADER) {
    SetLastError(VARDFILT_ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  vardfilt_call *call = (vardfilt_call *)pfc->ServerContext;
  const char *line = (const char *)data;
  if (line == NULL || !valid_status_line(line) ||
      (ul1 != 0 && !add_headers(call->r, (const char *)ul1))) {
    SetLastError(VARDFILT_ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  call->status_line = apr_pstrdup(call->r->pool, line);
  return TRUE;
}

/* The request runs as the account the filter mapped the visitor to. The account's password stays
 * inside the server: the visitor's Authorization header is removed, so a CGI program with
 * CGIPassAuth or a proxied backend learns neither the visitor's password nor the account's.
 * Where IsapiFilterPassCredentials is on, the header is rewritten to the account's credentials
 * instead, for programs behind that log on with them. */
static int accept_mapped(request_rec *r, const char *user, const char *password) {
  if (*user == '\0') {
    ap_log_rerror(APLOG_MARK, APLOG_ERR, 0, r,
                  "filter mapped the visitor to an empty account name");
    return HTTP_INTERNAL_SERVER_ERROR;
  }
  const vardfilt_dir_conf *dir = ap_get_module_config(r->per_dir_config, &vardfilt_module);
  if (dir != NULL && dir->pass_credentials == 1) {
    const char *plain = apr_pstrcat(r->pool, user, ":", password, NULL);
    const int length = (int)strlen(plain);
    char *encoded = apr_palloc(r->pool, (apr_size_t)apr_base64_encode_len(length));
    apr_base64_encode(encoded, plain, length);
    apr_table_setn(r->headers_in, "Authorization", apr_pstrcat(r->pool, "Basic ", encoded, NULL));
  } else {
    apr_table_unset(r->headers_in, "Authorization");
  }
  r->user = apr_pstrdup(r->pool, user);
  r->ap_auth_type = "Basic";
  return OK;
}

/* One error-log line per decision of the filter, for log watchers such as fail2ban. Apache puts
 * the client address in front and escapes the message (control bytes and backslashes), so a name
 * cannot break the line; the verdict comes before the typed name, so nothing a visitor types can
 * turn one kind of line into the other. The levels are global, like the library. */
static void log_outcome(request_rec *r, int refused, const char *user, const char *detail) {
  const vardfilt_server_conf *conf =
      ap_get_module_config(ap_server_conf->module_config, &vardfilt_module);
  const int level = refused ? conf->refusal_level : conf->success_level;
  if (level == VARDFILT_LOG_OFF) {
    return;
  }
  ap_log_rerror(APLOG_MARK, level, 0, r, "vardfilt: %s user \"%s\": %s",
                refused ? "refused" : "accepted", user, detail);
}

/* The filter answered with a status line of its own: send it, and with a 401 the Basic challenge
 * so that browsers ask for the credentials again. */
static int refuse(request_rec *r, const char *status_line) {
  const int status = atoi(status_line);
  if (status < 400 || status > 599) {
    ap_log_rerror(APLOG_MARK, APLOG_ERR, 0, r, "filter sent status \"%s\", which is no refusal",
                  ap_escape_logitem(r->pool, status_line));
    return HTTP_INTERNAL_SERVER_ERROR;
  }
  r->status_line = status_line;
  if (status == HTTP_UNAUTHORIZED) {
    const char *realm = ap_auth_name(r);
    apr_table_setn(
        r->err_headers_out, "WWW-Authenticate",
        apr_pstrcat(r->pool, "Basic realm=\"",
                    ap_escape_quotes(r->pool, realm ? realm : ap_get_server_name(r)), "\"", NULL));
  }
  return status;
}

/* The filter judges Basic credentials of a site's visitors; other schemes and the users of a
 * forward proxy (Proxy-Authorization) are Apache's own business. */
static int vardfilt_check_authn(request_rec *r) {
  const char *type = ap_auth_type(r);
  if (type == NULL || ap_cstr_casecmp(type, "Basic") != 0 || r->proxyreq == PROXYREQ_PROXY) {
    return DECLINED;
  }
  if (vardfilt_process.broken) {
    ap_log_rerror(APLOG_MARK, APLOG_ERR, 0, r,
                  "the IsapiFilter library could not be loaded in this process; refusing to "
                  "decide without it");
    return HTTP_INTERNAL_SERVER_ERROR;
  }
  if (vardfilt_process.proc == NULL) {
    return DECLINED;
  }
  const int secure = ap_ssl_conn_is_ssl(r->connection);
  if (!(vardfilt_process.flags & (secure ? SF_NOTIFY_SECURE_PORT : SF_NOTIFY_NONSECURE_PORT))) {
    return DECLINED;
  }

  const char *typed_user = NULL;
  const char *typed_password = NULL;
  if (ap_get_basic_auth_components(r, &typed_user, &typed_password) != APR_SUCCESS) {
    typed_user = "";
    typed_password = "";
  }
  /* Cutting longer credentials down would let a prefix stand for the whole password, so the
   * filter never sees them and Apache's own provider decides. */
  if (strlen(typed_user) >= VARDFILT_CREDENTIAL_CAPACITY ||
      strlen(typed_password) >= VARDFILT_CREDENTIAL_CAPACITY) {
    ap_log_rerror(APLOG_MARK, APLOG_INFO, 0, r,
                  "credentials longer than %d bytes are not shown to the filter",
                  VARDFILT_CREDENTIAL_CAPACITY - 1);
    return DECLINED;
  }
  char user[VARDFILT_CREDENTIAL_CAPACITY];
  char password[VARDFILT_CREDENTIAL_CAPACITY];
  apr_cpystrn(user, typed_user, sizeof user);
  apr_cpystrn(password, typed_password, sizeof password);
  HTTP_FILTER_AUTHENT authent = {user, sizeof user, password, sizeof password};

  vardfilt_call call;
  memset(&call, 0, sizeof call);
  call.context.cbSize = sizeof call.context;
  call.context.Revision = HTTP_FILTER_REVISION;
  call.context.ServerContext = &call;
  call.context.fIsSecurePort = secure ? TRUE : FALSE;
  call.context.GetServerVariable = get_server_variable;
  call.context.AddResponseHeaders = add_response_headers;
  call.context.WriteClient = write_client;
  call.context.AllocMem = alloc_mem;
  call.context.ServerSupportFunction = server_support_function;
  call.r = r;

  errno = 0;
  const DWORD answer = vardfilt_process.proc(&call.context, SF_NOTIFY_AUTHENTICATION, &authent);
  const int error = errno;
  /* A filter that filled a buffer to the brim left no terminator; never read past it. */
  user[sizeof user - 1] = '\0';
  password[sizeof password - 1] = '\0';

  if (answer == SF_STATUS_REQ_ERROR) {
    ap_log_rerror(APLOG_MARK, APLOG_ERR, 0, r, "filter failed the request: error %d", error);
    return HTTP_INTERNAL_SERVER_ERROR;
  }
  if (answer != SF_STATUS_REQ_HANDLED_NOTIFICATION && answer != SF_STATUS_REQ_NEXT_NOTIFICATION) {
    ap_log_rerror(APLOG_MARK, APLOG_ERR, 0, r, "filter answered with unsupported status 0x%x",
                  (unsigned)answer);
    return HTTP_INTERNAL_SERVER_ERROR;
  }
  if (call.status_line != NULL) {
    log_outcome(r, 1, typed_user, call.status_line);
    return refuse(r, call.status_line);
  }
  if (answer == SF_STATUS_REQ_HANDLED_NOTIFICATION &&
      (strcmp(user, typed_user) != 0 || strcmp(password, typed_password) != 0)) {
    log_outcome(r, 0, typed_user, apr_pstrcat(r->pool, "mapped to ", user, NULL));
    return accept_mapped(r, user, password);
  }
  return DECLINED;
}

/* Loads the library in this child process and learns what it wants to be called for. A library
 * that is configured but cannot be used marks the process broken: deciding without the filter
 * would let Apache's own provider judge visitors the filter was meant to judge. */
static void vardfilt_child_init(apr_pool_t *pool, server_rec *s) {
  (void)pool;
  const vardfilt_server_conf *conf = ap_get_module_config(s->module_config, &vardfilt_module);
  if (conf->library == NULL) {
    return;
  }
  /* Never unloaded: the process ends with the library still in use by threads that may not have
   * finished, and its own teardown runs at exit. */
  void *handle = dlopen(conf->library, RTLD_NOW | RTLD_LOCAL);
  if (handle == NULL) {
    ap_log_error(APLOG_MARK, APLOG_ERR, 0, s, "IsapiFilter %s cannot be loaded: %s", conf->library,
                 dlerror());
    vardfilt_process.broken = 1;
    return;
  }
  PFN_GetFilterVersion get_version = (PFN_GetFilterVersion)dlsym(handle, "GetFilterVersion");
  PFN_HttpFilterProc proc = (PFN_HttpFilterProc)dlsym(handle, "HttpFilterProc");
  if (get_version == NULL || proc == NULL) {
    ap_log_error(APLOG_MARK, APLOG_ERR, 0, s,
                 "IsapiFilter %s does not export GetFilterVersion and HttpFilterProc",
                 conf->library);
    vardfilt_process.broken = 1;
    return;
  }
  HTTP_FILTER_VERSION version;
  memset(&version, 0, sizeof version);
  version.dwServerFilterVersion = HTTP_FILTER_REVISION;
  if (!get_version(&version)) {
    ap_log_error(APLOG_MARK, APLOG_ERR, 0, s, "IsapiFilter %s refused GetFilterVersion",
                 conf->library);
    vardfilt_process.broken = 1;
    return;
  }
  version.lpszFilterDesc[sizeof version.lpszFilterDesc - 1] = '\0';
  ap_log_error(APLOG_MARK, APLOG_NOTICE, 0, s,
               "IsapiFilter %s loaded: \"%s\", version %u.%u, flags 0x%x", conf->library,
               ap_escape_logitem(pool, version.lpszFilterDesc),
               (unsigned)(version.dwFilterVersion >> 16),
               (unsigned)(version.dwFilterVersion & 0xffffu), (unsigned)version.dwFlags);
  if (!(version.dwFlags & SF_NOTIFY_AUTHENTICATION)) {
    ap_log_error(APLOG_MARK, APLOG_NOTICE, 0, s,
                 "IsapiFilter %s does not ask for the authentication step and is never called",
                 conf->library);
    return;
  }
  vardfilt_process.flags = version.dwFlags;
  vardfilt_process.proc = proc;
}

/* A missing library is a configuration mistake: say so at start-up rather than with the first
 * guarded request. */
static int vardfilt_post_config(apr_pool_t *pconf, apr_pool_t *plog, apr_pool_t *ptemp,
                                server_rec *s) {
  (void)pconf;
  (void)plog;
  const vardfilt_server_conf *conf = ap_get_module_config(s->module_config, &vardfilt_module);
  apr_finfo_t info;
  if (conf->library != NULL &&
      apr_stat(&info, conf->library, APR_FINFO_TYPE, ptemp) != APR_SUCCESS) {
    ap_log_error(APLOG_MARK, APLOG_CRIT, 0, s, "IsapiFilter %s: no such file", conf->library);
    return HTTP_INTERNAL_SERVER_ERROR;
  }
  return OK;
}

/* The site manager (vardsite) serves the authority bound to the site it is called on; it gets the
 * same site as the filter, and no name at all when the Host header named another site, so that
 * it then manages no authority. Set last, so that no SetEnv can stand in for it. */
static int vardfilt_fixups(request_rec *r) {
  int foreign = 0;
  const char *name = site_name(r, &foreign);
  if (foreign || name == NULL) {
    apr_table_unset(r->subprocess_env, VARDOMAR_SITE_NAME_VARIABLE);
  } else {
    apr_table_setn(r->subprocess_env, VARDOMAR_SITE_NAME_VARIABLE, name);
  }
  apr_table_setn(r->subprocess_env, VARDOMAR_SITE_PORT_VARIABLE, site_port(r));
  return DECLINED;
}

static void vardfilt_register_hooks(apr_pool_t *pool) {
  (void)pool;
  static const char *const before[] = {"mod_auth_basic.c", NULL};
  ap_hook_check_authn(vardfilt_check_authn, NULL, before, APR_HOOK_FIRST,
                      AP_AUTH_INTERNAL_PER_CONF);
  ap_hook_fixups(vardfilt_fixups, NULL, NULL, APR_HOOK_REALLY_LAST);
  ap_hook_post_config(vardfilt_post_config, NULL, NULL, APR_HOOK_MIDDLE);
  ap_hook_child_init(vardfilt_child_init, NULL, NULL, APR_HOOK_MIDDLE);
}

AP_DECLARE_MODULE(vardfilt) = {
    STANDARD20_MODULE_STUFF,
    vardfilt_create_dir_conf,    /* per-directory configuration */
    vardfilt_merge_dir_conf,     /* merge per-directory configuration */
    vardfilt_create_server_conf, /* per-server configuration */
    NULL,                        /* the library is global: nothing to merge */
    vardfilt_cmds,
    vardfilt_register_hooks,
    0 /* flags */
};
