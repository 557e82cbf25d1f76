// Port: asking an HTTP server about a resource without fetching its body (the size query of the
// remote-file class). Windows: WinINet (InternetOpenUrl, HttpQueryInfo). POSIX: our own HTTP/1.1
// client over sockets: a HEAD request, and the headers of a GET when the server does not take
// HEAD or leaves the length out of its HEAD answer; redirects are followed like WinINet does.
#pragma once

#include <optional>
#include <string>

namespace quillmend {

struct HttpLimits {
  int connect_ms = 30000;  // to establish the connection
  int reply_ms = 30000;    // for the whole header of each answer to arrive
};

struct HttpResourceInfo {
  // True when the URL was opened: a final answer with a 2xx status arrived. An error status
  // (404, 500, ...) counts as not opened, so its error page is never taken for the resource.
  bool opened = false;
  // The status of the last answer (0 when none arrived).
  int status = 0;
  // The Content-Length header's text as the server sent it (trimmed), when it sent one.
  std::optional<std::string> content_length;
  // Why the URL could not be opened (English, for logs and tests); empty when opened.
  std::string error;
};

// Opens url (http://host[:port]/path; Windows also https) within the limits and reports its
// answer. Never throws; a malformed URL, an unknown host, a refused or silent server give
// opened == false with the reason in error.
HttpResourceInfo QueryHttpResource(const std::string& url, const HttpLimits& limits = {});

}  // namespace quillmend
