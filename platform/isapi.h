/* The web-server filter interface: the blocks, flags and entry points through which a host calls
 * an authentication filter library, with the classic layout and names so a host and a filter
 * written apart from each other meet here. Plain C, usable from C hosts and C++ filters alike.
 * A declaration only: nothing here holds state, so it is safe from any thread. */
#ifndef VARDOMAR_PLATFORM_ISAPI_H_
#define VARDOMAR_PLATFORM_ISAPI_H_

#include <errno.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t DWORD;
typedef int BOOL;
typedef char CHAR;
typedef uintptr_t ULONG_PTR;
typedef void* LPVOID;
typedef DWORD* LPDWORD;
typedef char* LPSTR;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

/* Error codes a filter leaves for its host through SetLastError. */
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_BAD_CONFIGURATION 1610u

/* The calling thread's last error is errno: a host reads it right after SF_STATUS_REQ_ERROR. */
static inline void SetLastError(DWORD code) { errno = (int)code; }

#define SF_MAX_FILTER_DESC_LEN (256 + 1)
#define HTTP_FILTER_REVISION 0x00060000u

/* Notifications a filter asks for in HTTP_FILTER_VERSION.dwFlags. */
#define SF_NOTIFY_SECURE_PORT 0x00000001u
#define SF_NOTIFY_NONSECURE_PORT 0x00000002u
#define SF_NOTIFY_READ_RAW_DATA 0x00008000u
#define SF_NOTIFY_PREPROC_HEADERS 0x00004000u
#define SF_NOTIFY_AUTHENTICATION 0x00002000u
#define SF_NOTIFY_URL_MAP 0x00001000u
#define SF_NOTIFY_ACCESS_DENIED 0x00000800u
#define SF_NOTIFY_SEND_RESPONSE 0x00000040u
#define SF_NOTIFY_SEND_RAW_DATA 0x00000400u
#define SF_NOTIFY_LOG 0x00000200u
#define SF_NOTIFY_END_OF_REQUEST 0x00000080u
#define SF_NOTIFY_END_OF_NET_SESSION 0x00000100u
#define SF_NOTIFY_ORDER_HIGH 0x00080000u
#define SF_NOTIFY_ORDER_MEDIUM 0x00040000u
#define SF_NOTIFY_ORDER_LOW 0x00020000u
#define SF_NOTIFY_ORDER_DEFAULT SF_NOTIFY_ORDER_LOW

/* What a filter answers for one notification. */
#define SF_STATUS_REQ_FINISHED 0x8000000u
#define SF_STATUS_REQ_FINISHED_KEEP_CONN 0x8000001u
#define SF_STATUS_REQ_NEXT_NOTIFICATION 0x8000002u
#define SF_STATUS_REQ_HANDLED_NOTIFICATION 0x8000003u
#define SF_STATUS_REQ_ERROR 0x8000004u
#define SF_STATUS_REQ_READ_NEXT 0x8000005u

/* ServerSupportFunction requests. */
#define SF_REQ_SEND_RESPONSE_HEADER 0u

typedef struct _HTTP_FILTER_CONTEXT HTTP_FILTER_CONTEXT;
typedef HTTP_FILTER_CONTEXT* PHTTP_FILTER_CONTEXT;

/* One request as the host shows it to the filter. The host owns the block and every buffer the
 * callbacks fill; the filter borrows it for the duration of one HttpFilterProc call. */
struct _HTTP_FILTER_CONTEXT {
  DWORD cbSize;
  DWORD Revision;
  LPVOID ServerContext;
  DWORD ulReserved;
  BOOL fIsSecurePort;
  LPVOID pFilterContext;
  /* Copies the named variable with its terminator into buffer. TRUE on success; FALSE when the
   * variable is unknown or *size is too small, and then *size holds the size needed. */
  BOOL (*GetServerVariable)(PHTTP_FILTER_CONTEXT pfc, LPSTR name, LPVOID buffer, LPDWORD size);
  BOOL (*AddResponseHeaders)(PHTTP_FILTER_CONTEXT pfc, LPSTR headers, DWORD reserved);
  BOOL (*WriteClient)(PHTTP_FILTER_CONTEXT pfc, LPVOID buffer, LPDWORD bytes, DWORD reserved);
  LPVOID (*AllocMem)(PHTTP_FILTER_CONTEXT pfc, DWORD size, DWORD reserved);
  /* SF_REQ_SEND_RESPONSE_HEADER: data is the status line ("401 Access Denied"), ul1 extra
   * headers or 0. */
  BOOL(*ServerSupportFunction)
  (PHTTP_FILTER_CONTEXT pfc, DWORD request, LPVOID data, ULONG_PTR ul1, ULONG_PTR ul2);
};

/* The authentication notification: the credentials the visitor typed, in host-owned buffers of
 * the given capacities (terminator included). A filter may rewrite them in place. */
typedef struct _HTTP_FILTER_AUTHENT {
  CHAR* pszUser;
  DWORD cbUserBuff;
  CHAR* pszPassword;
  DWORD cbPasswordBuff;
} HTTP_FILTER_AUTHENT, *PHTTP_FILTER_AUTHENT;

/* The version query: the host fills dwServerFilterVersion, the filter the rest. */
typedef struct _HTTP_FILTER_VERSION {
  DWORD dwServerFilterVersion;
  DWORD dwFilterVersion;
  CHAR lpszFilterDesc[SF_MAX_FILTER_DESC_LEN];
  DWORD dwFlags;
} HTTP_FILTER_VERSION, *PHTTP_FILTER_VERSION;

/* The two entry points a filter library exports. */
typedef BOOL (*PFN_GetFilterVersion)(HTTP_FILTER_VERSION* version);
typedef DWORD (*PFN_HttpFilterProc)(HTTP_FILTER_CONTEXT* context, DWORD notification_type,
                                    LPVOID notification);

/* GetFilterVersion fills `version` once at load and returns TRUE, or FALSE to refuse loading;
 * HttpFilterProc answers one notification with an SF_STATUS_REQ_* value. Every block stays the
 * host's. */
BOOL GetFilterVersion(HTTP_FILTER_VERSION* version);
DWORD HttpFilterProc(HTTP_FILTER_CONTEXT* context, DWORD notification_type, LPVOID notification);

#ifdef __cplusplus
}
#endif

#endif /* VARDOMAR_PLATFORM_ISAPI_H_ */
