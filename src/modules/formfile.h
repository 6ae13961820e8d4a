// Form files: the text form a designer saves (object Name: TClass, property = value, end) and
// the binary form compilers read, converted both ways without loss.
//
// The text form:
//   object Form1: TForm1             (also "inherited" and "inline"; "object TClass" is unnamed)
//     Left = 10                      integers; 1.5, 2e3 floats kept as written
//     Caption = 'It''s'#13#10'next'  strings: quoted runs, #n character codes, + joins lines
//     Font.Style = [fsBold, fsItalic]  sets of identifiers
//     Align = alClient               identifiers
//     Lines.Strings = ( 'a' 'b' )    lists of values
//     Columns = < item Width = 3 end >  item lists
//     Picture.Data = { 0A1B }        binary data in hexadecimal
//     object Button1: TButton end    child objects, among the properties where they stood
//   end
// The binary form starts with FormSignature; it keeps everything the text says except the
// layout, so that the text the writer makes goes to binary and back unchanged.
#pragma once

#include <string>
#include <string_view>

#include "shared/exceptions.h"

namespace nxs {

class EFormFileError : public Exception {
 public:
  using Exception::Exception;
};

inline constexpr std::string_view FormSignature = "NXF1";

// The extensions form files have; a unit's form lies beside it under the unit's name.
inline constexpr const char* FormFileExtensions[] = {".vfm", ".xfm", ".cfx", ".lfm"};
// A name ending in one of those extensions, in any letter case.
bool IsFormFileName(std::string_view FileName);
bool IsBinaryForm(std::string_view Data);
// True when Data (after a UTF-8 byte-order mark and blanks) begins as a form in text.
bool LooksLikeTextForm(std::string_view Data);

// The name of the form's root object ("Form1" of "object Form1: TForm1"), in text or binary
// form; empty for an unnamed root and for data that is not a form.
std::string FormRootName(std::string_view Data);

// Raise EFormFileError with the line (text) or offset (binary) of the first fault.
std::string FormTextToBinary(std::string_view Text);
std::string FormBinaryToText(std::string_view Binary);

}  // namespace nxs
