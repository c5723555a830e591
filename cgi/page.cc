#include "cgi/page.h"

#include <cstdio>
#include <cstdlib>

#include "cgi/html.h"

namespace vard {
namespace {

bool IsUrlSafe(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

void WriteUrlEncoded(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  for (const char c : text) {
    if (IsUrlSafe(c)) {
      std::fputc(c, stdout);
    } else {
      const auto byte = static_cast<unsigned char>(c);
      const char escape[3] = {'%', kHex[byte >> 4], kHex[byte & 15]};
      std::fwrite(escape, 1, sizeof escape, stdout);
    }
  }
}

}  // namespace

void WriteScriptName() {
  const char* script = std::getenv("SCRIPT_NAME");
  if (script) WriteEscaped(script);
}

void Write(std::string_view text) {
  // An empty view may carry a null pointer, which fwrite must not be given.
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stdout);
}

void WriteLine(std::string_view text) {
  Write(text);
  std::fputc('\n', stdout);
}

void WriteInt(long number) { std::printf("%ld", number); }

void WriteHeader(std::string_view content_type) {
  Write("Content-Type: ");
  Write(content_type);
  Write("; charset=");
  WriteLine(kPageCharset);
  WriteLine("Cache-Control: no-store");
  WriteLine("X-Content-Type-Options: nosniff");
  WriteLine("Referrer-Policy: same-origin");
  WriteLine("X-Frame-Options: DENY");
  // The pages need their one inline style block and forms that post to themselves, nothing
  // else. With every source of images, fonts and connections shut, even a style rule smuggled
  // into a page could not send what the page shows anywhere.
  WriteLine(
      "Content-Security-Policy: default-src 'none'; style-src 'unsafe-inline'; "
      "form-action 'self'; frame-ancestors 'none'; base-uri 'none'");
  Write("\n");
}

void WriteActionUrl(std::string_view action) {
  WriteScriptName();
  Write("?Action=");
  WriteUrlEncoded(action);
}

void WriteActionUrl2(std::string_view action, std::string_view post_action) {
  WriteActionUrl(action);
  Write("&PostAction=");
  WriteUrlEncoded(post_action);
}

void WriteActionUrl(std::string_view action, std::initializer_list<QueryField> fields) {
  WriteActionUrl(action);
  for (const QueryField& field : fields) {
    Write("&");
    WriteUrlEncoded(field.name);
    Write("=");
    WriteUrlEncoded(field.value);
  }
}

void WritePageHead(std::string_view title) {
  WriteLine("<html>");
  WriteLine("<head>");
  Write("<title>");
  WriteEscaped(title);
  WriteLine("</title>");
  Write("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=");
  Write(kPageCharset);
  WriteLine("\">");
  WriteLine("<style>");
  WriteLine("<!--");
  WriteLine("td { font-family: Arial; font-size: 10pt }");
  WriteLine("a:link { font-family: Arial; font-size: 10pt; color: rgb(192,64,64)}");
  WriteLine("a:hover { font-family: Arial; font-size: 10pt; color: rgb(192,64,64)}");
  WriteLine("a:visited { font-family: Arial; font-size: 10pt; color: rgb(192,64,64)}");
  WriteLine("a:href { font-family: Arial; font-size: 10pt; color: rgb(192,64,64)}");
  WriteLine(
      ".outset { border-left: 1px solid rgb(255,255,255); border-right: 1px solid rgb(0,0,0); "
      "border-top: 1px solid rgb(255,255,255); border-bottom: 1px solid rgb(0,0,0) }");
  WriteLine(
      ".inset { border-left: 1px solid rgb(0,0,0); border-right: 1px solid rgb(255,255,255); "
      "border-top: 1px solid rgb(0,0,0); border-bottom: 1px solid rgb(255,255,255) }");
  WriteLine("-->");
  WriteLine("</style>");
  WriteLine("</head>");
  WriteLine("<body>");
}

void WriteFormStart(std::string_view action) {
  Write("<form method=\"POST\" accept-charset=\"");
  Write(kPageCharset);
  Write("\" action=\"");
  WriteActionUrl(action);
  WriteLine("\">");
}

}  // namespace vard
