// A desktop or layout file in memory: an INI text of "[Section]" lines and "Key=Value" lines,
// read and written whole. Section names are file names as often as not, so they compare
// exactly (two files whose names differ only in case are two sections); value names compare
// without regard to case. Values are kept byte for byte, blanks included.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "modules/inifile.h"

namespace nxs {

class TDesktopIniFile : public TCustomIniFile {
 public:
  TDesktopIniFile() = default;
  // Reads Text; lines that are neither a section, a value nor a comment (";") are left out.
  explicit TDesktopIniFile(std::string_view Text);

  std::string ReadString(std::string_view Section, std::string_view Ident, std::string_view Default) override;
  int64_t ReadInteger(std::string_view Section, std::string_view Ident, int64_t Default) override;
  // A section name or a value that holds a line break cannot be stored in the file, nor a
  // value name that would read back otherwise (StorableIdent): such a write raises Exception
  // and changes nothing.
  void WriteString(std::string_view Section, std::string_view Ident, std::string_view Value) override;
  void WriteInteger(std::string_view Section, std::string_view Ident, int64_t Value) override;
  std::vector<std::string> ReadSection(std::string_view Section) override;
  void EraseSection(std::string_view Section) override;

  bool SectionExists(std::string_view Section) const { return Find(Section) != nullptr; }
  // The section names in file order.
  std::vector<std::string> Sections() const;
  // True when a section name or value can be stored (it holds no line break).
  static bool Storable(std::string_view Text);
  static bool StorableIdent(std::string_view Ident);

  // The whole file, sections in the order they were first written.
  std::string Text() const;

 private:
  struct TSection {
    std::string Name;
    std::vector<std::pair<std::string, std::string>> Values;
  };
  const TSection* Find(std::string_view Name) const;
  TSection& FindOrAdd(std::string_view Name);

  std::vector<TSection> FSections;
};

}  // namespace nxs
