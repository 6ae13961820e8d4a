// The message of the exception a call raises, for comparing messages word for word.
#pragma once

#include <exception>
#include <string>
#include <typeinfo>

#include "shared/exceptions.h"

namespace nxs::test {

// E's message; "(no error)" when Fn returns, and a note naming the type when Fn raises
// something other than E, so that a wrong kind of failure shows in the comparison.
template <class E = Exception, class F>
std::string ErrorOf(F&& Fn) {
  try {
    Fn();
  } catch (const E& Error) {
    return Error.what();
  } catch (const std::exception& Other) {
    return std::string("(unexpected ") + typeid(Other).name() + ": " + Other.what() + ")";
  }
  return "(no error)";
}

}  // namespace nxs::test
