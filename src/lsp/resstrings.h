// The language server's own texts: faults of the framing and the messages, and the answers
// to requests it cannot serve.
#pragma once

namespace nxs::res {

inline constexpr const char* SLspBadHeaderLine = "Malformed header line '%s'";
inline constexpr const char* SLspBadContentLength = "Content-Length '%s' is not a length";
inline constexpr const char* SLspNoContentLength = "Header without Content-Length";
inline constexpr const char* SLspHeaderTooLong = "Header longer than %u bytes";
inline constexpr const char* SLspContentTooLong = "Content-Length %s exceeds the limit of %s bytes; the content is skipped";
inline constexpr const char* SLspTruncatedMessage = "Input ended inside a message";
inline constexpr const char* SLspTruncatedHeader = "Input ended inside a header";

inline constexpr const char* SLspParseError = "Parse error: %s";
inline constexpr const char* SLspNotAnObject = "A message must be a JSON object";
inline constexpr const char* SLspBadVersion = "A message must have \"jsonrpc\": \"2.0\"";
inline constexpr const char* SLspBadId = "A request id must be a number or a string";
inline constexpr const char* SLspNotAMessage = "Neither a request, a notification nor a response";
inline constexpr const char* SLspBadParams = "Parameters must be an object or an array";
inline constexpr const char* SLspInvalidParams = "Invalid parameters for %s: %s";
inline constexpr const char* SLspNotInitialized = "The server is not initialized";
inline constexpr const char* SLspInitializedTwice = "The server is initialized already";
inline constexpr const char* SLspShutDown = "The server is shutting down";
inline constexpr const char* SLspUnknownMethod = "Unhandled method %s";
inline constexpr const char* SLspCancelled = "Request %s was cancelled";
inline constexpr const char* SLspNotOpen = "The document %s is not open";
inline constexpr const char* SLspNotAFileUri = "Only file URIs are served: %s";
inline constexpr const char* SLspNotifyFailed = "%s failed: %s";
inline constexpr const char* SLspUnknownCommand = "Unknown command %s";
inline constexpr const char* SLspNothingToBuild = "The workspace holds no group file and not exactly one project";
inline constexpr const char* SLspNotSourceModule = "%s does not open as a source file";

}  // namespace nxs::res
