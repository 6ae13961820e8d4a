// The protocol's error codes and the exception that carries one to the answer of a request.
#pragma once

#include <string>

#include "shared/exceptions.h"

namespace nxs::lsp {

enum TLspErrorCode : int {
  ecParseError = -32700,
  ecInvalidRequest = -32600,
  ecMethodNotFound = -32601,
  ecInvalidParams = -32602,
  ecInternalError = -32603,
  ecServerNotInitialized = -32002,
  ecUnknownErrorCode = -32001,
  ecRequestFailed = -32803,
  ecServerCancelled = -32802,
  ecContentModified = -32801,
  ecRequestCancelled = -32800,
};

class ELspError : public Exception {
 public:
  ELspError(TLspErrorCode Code, const std::string& Message) : Exception(Message), FCode(Code) {}
  TLspErrorCode Code() const { return FCode; }

 private:
  TLspErrorCode FCode;
};

}  // namespace nxs::lsp
