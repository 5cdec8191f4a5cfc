#pragma once

#include "service/ServiceError.h"

#include <QString>
#include <QUrl>

// Where the online service lives and how request URLs are formed from its base URL.
//
// The base URL is scheme and host (and port), no trailing slash; every request path is appended
// to it as text. The session cookie must never cross the network in clear text, so plain http and
// ws are accepted only for loopback hosts (127.0.0.0/8, ::1, localhost), where the local stand-in
// service runs; every other host must use https / wss.
namespace ServiceUrl {

// The local stand-in service that scripts/run starts.
inline constexpr char kDefaultBaseUrl[] = "http://127.0.0.1:8787";
// Environment variable that replaces the default base URL (scripts and tests point it at a
// stand-in).
inline constexpr char kBaseUrlVariable[] = "PINDLE_SERVICE_URL";

// PINDLE_SERVICE_URL when set and not blank, else kDefaultBaseUrl; trailing slashes removed. The
// text is not checked here: a bad or insecure value fails each request with a clear error.
[[nodiscard]] QString baseUrlFromEnvironment();

// Removes trailing slashes and surrounding white space.
[[nodiscard]] QString normalisedBase(const QString& base);

// Whether `host` (as QUrl::host() gives it) is the loopback interface.
[[nodiscard]] bool isLoopbackHost(const QString& host);

// The URL of `path` under `base` for an HTTP request. `path` must begin with "/" (so that it
// cannot change the host). Fails with InsecureUrl when the scheme is http on a non-loopback host
// or is neither http nor https (or the base is no URL), and with BadResponse when no valid URL can
// be formed from the path, or one of its segments is empty, "." or "..".
[[nodiscard]] ServiceResult<QUrl> resolve(const QString& base, const QString& path);

// The same for the streaming socket: the base's http becomes ws, https becomes wss, and the same
// loopback rule applies.
[[nodiscard]] ServiceResult<QUrl> resolveWebSocket(const QString& base, const QString& path);

// `text` encoded as exactly one path segment: every byte of its UTF-8 outside A-Z a-z 0-9 - _ ~
// is percent-encoded (dots and "%" included), so "/" cannot split it. A segment that still names
// "here" or "up" ("." or "..", which the network layer decodes back) or is empty makes resolve()
// refuse the path, so it cannot climb. Use it for every id or token put into a path.
[[nodiscard]] QString pathSegment(const QString& text);

} // namespace ServiceUrl
