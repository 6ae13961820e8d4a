// The exception classes of the project-file layer: document checks, XML parse failures and
// the name checks that configurations and options run on user-given names.
#pragma once

#include <string>

#include "shared/exceptions.h"

namespace nxs {

// A project document check failed (version too new, a value holding XML, a missing current
// target...). The message names the project file where the document knows it.
class EProjectFileException : public Exception {
 public:
  using Exception::Exception;
};

// The XML text could not be read. The message lists every error the parser reported, one
// per line, each with its line and column.
class EParseException : public Exception {
 public:
  using Exception::Exception;
};

// A name holds one of the characters MSBuild reserves (" $ % ' ( ) < = > @).
class EInvalidName : public Exception {
 public:
  using Exception::Exception;
};

// A name that cannot be an XML element name (property and option names).
class EInvalidTagName : public Exception {
 public:
  using Exception::Exception;
};

// A condition or expression holds a character that its tokenizer does not accept.
// A text a project file cannot hold.
class EInvalidXmlText : public Exception {
 public:
  using Exception::Exception;
};

class EInvalidToken : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace nxs
