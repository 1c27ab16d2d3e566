#pragma once
// Text rules of the HTTP client that need no platform call: where a redirect
// leads and what number a Content-Length or Content-Range header carries.

#include <cstdint>
#include <string>

#include "net/http_client.h"

// The URL a Location header leads to, seen from the request whose split URL is
// `current`. An absolute http(s) Location is taken as it is; anything else is
// joined to the current scheme, host and port (the port written unless it is
// the scheme's default): a Location starting with '/' replaces the path, any
// other replaces the last segment of the current path.
std::wstring redirectTarget(const std::wstring& location, const UrlParts& current);

// The leading decimal number of a header value (spaces before it skipped);
// 0 when it starts with no digit, INT64_MAX when it does not fit.
int64_t leadingDecimal(const std::wstring& text);

// The complete size in a Content-Range value ("bytes 0-99/1000" gives 1000);
// -1 when there is no '/' or the text after the last one is empty or "*".
int64_t contentRangeTotal(const std::wstring& value);

// The first byte of a Content-Range value ("bytes 200-299/1000" gives 200);
// -1 when the value names no first byte ("bytes */1000", no digits).
int64_t contentRangeFirst(const std::wstring& value);
