/* A scripted filter library for testing the Apache host module on its own: the user name a test
 * sends chooses the answer, the password carries its argument.
 *
 *   map    user <- password, password <- "mapped-pw"; HANDLED (the request runs as "password")
 *   deny   status line <- password; HANDLED
 *   denyh  status line "401 Access Denied" with the extra header "X-Stub: refused"; HANDLED
 *   error  SetLastError(password as a number); ERROR
 *   next   NEXT_NOTIFICATION
 *   same   HANDLED, credentials unchanged
 *   odd    an answer no host knows
 *   fill   user <- the whole buffer of 'a' without a terminator; HANDLED
 *   vars   mapped to a report of what the host offers (server variables, buffer capacities,
 *          the bounded-buffer contract, how often GetFilterVersion ran in this process)
 *   other  NEXT_NOTIFICATION
 *
 * Env VARD_STUB_FLAGS (hex) replaces the flags the version query answers. Thread-safe: the only
 * state is a counter written by GetFilterVersion. */

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform/isapi.h"

static int version_calls;

BOOL GetFilterVersion(HTTP_FILTER_VERSION* version) {
  version_calls++;
  version->dwFilterVersion = 0x40000;
  const char* flags = getenv("VARD_STUB_FLAGS");
  version->dwFlags = flags ? (DWORD)strtoul(flags, NULL, 16)
                           : SF_NOTIFY_SECURE_PORT | SF_NOTIFY_NONSECURE_PORT |
                                 SF_NOTIFY_AUTHENTICATION | SF_NOTIFY_ORDER_MEDIUM;
  snprintf(version->lpszFilterDesc, sizeof version->lpszFilterDesc, "stub filter <for tests>");
  return TRUE;
}

/* "name=value" of one variable read with exactly the room it needs, checking on the way that a
 * buffer one byte short is refused, untouched, with the size it needs. */
static void report_variable(HTTP_FILTER_CONTEXT* pfc, const char* name, char* out, size_t cap) {
  char value[300];
  DWORD size = 0;
  const BOOL probe = pfc->GetServerVariable(pfc, (LPSTR)name, NULL, &size);
  const DWORD needed = size;
  memset(value, '#', sizeof value);
  size = needed - 1;
  const BOOL short_read = needed > 1 && pfc->GetServerVariable(pfc, (LPSTR)name, value, &size);
  const int untouched = value[0] == '#' && size == needed;
  size = sizeof value;
  const BOOL read = pfc->GetServerVariable(pfc, (LPSTR)name, value, &size);
  snprintf(out + strlen(out), cap - strlen(out), "%s=%s%s;", name, read ? value : "?",
           (!probe && !short_read && untouched && size == needed) ? "" : "(contract broken)");
}

DWORD HttpFilterProc(HTTP_FILTER_CONTEXT* pfc, DWORD type, LPVOID notification) {
  if (type != SF_NOTIFY_AUTHENTICATION) {
    return SF_STATUS_REQ_NEXT_NOTIFICATION;
  }
  HTTP_FILTER_AUTHENT* a = (HTTP_FILTER_AUTHENT*)notification;
  if (!strcmp(a->pszUser, "map")) {
    snprintf(a->pszUser, a->cbUserBuff, "%s", a->pszPassword);
    snprintf(a->pszPassword, a->cbPasswordBuff, "mapped-pw");
    return SF_STATUS_REQ_HANDLED_NOTIFICATION;
  }
  if (!strcmp(a->pszUser, "deny")) {
    pfc->ServerSupportFunction(pfc, SF_REQ_SEND_RESPONSE_HEADER, a->pszPassword, 0, 0);
    return SF_STATUS_REQ_HANDLED_NOTIFICATION;
  }
  if (!strcmp(a->pszUser, "denyh")) {
    pfc->ServerSupportFunction(pfc, SF_REQ_SEND_RESPONSE_HEADER, "401 Access Denied",
                               (ULONG_PTR) "X-Stub: refused\r\n", 0);
    return SF_STATUS_REQ_HANDLED_NOTIFICATION;
  }
  if (!strcmp(a->pszUser, "error")) {
    SetLastError((DWORD)atoi(a->pszPassword));
    return SF_STATUS_REQ_ERROR;
  }
  if (!strcmp(a->pszUser, "same")) {
    return SF_STATUS_REQ_HANDLED_NOTIFICATION;
  }
  if (!strcmp(a->pszUser, "odd")) {
    return SF_STATUS_REQ_READ_NEXT;
  }
  if (!strcmp(a->pszUser, "fill")) {
    memset(a->pszUser, 'a', a->cbUserBuff);
    return SF_STATUS_REQ_HANDLED_NOTIFICATION;
  }
  if (!strcmp(a->pszUser, "vars")) {
    char report[1024] = "";
    report_variable(pfc, "SERVER_NAME", report, sizeof report);
    report_variable(pfc, "SERVER_PORT", report, sizeof report);
    report_variable(pfc, "SCRIPT_NAME", report, sizeof report);
    DWORD size = 10;
    char unknown[10];
    snprintf(report + strlen(report), sizeof report - strlen(report),
             "unknown=%s;caps=%u/%u;versions=%d;secure=%d",
             pfc->GetServerVariable(pfc, "NO_SUCH_VARIABLE", unknown, &size) ? "read" : "refused",
             (unsigned)a->cbUserBuff, (unsigned)a->cbPasswordBuff, version_calls,
             pfc->fIsSecurePort);
    snprintf(a->pszUser, a->cbUserBuff, "%s", report);
    return SF_STATUS_REQ_HANDLED_NOTIFICATION;
  }
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}
