// The text of a recovery folder's record ("__recovery.ini"): sections named by a module's file
// name, each with named values, in file order. Names compare exactly, as file names do here:
// "Unit1.pas" and "unit1.pas" in one folder are two modules with two sections.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nxs {

class TRecoveryIni {
 public:
  struct TSection {
    std::string Name;
    std::vector<std::pair<std::string, std::string>> Values;
  };

  // Reads Text; a line that is neither a section, a value nor a comment is skipped, so a
  // damaged record still gives every section it holds whole.
  static TRecoveryIni Parse(std::string_view Text);
  // The text Parse reads back as it is: names and values that are not one plain line (a file
  // name with a line break, or one that begins with a quote) are written quoted.
  std::string Text() const;

  const std::vector<TSection>& Sections() const { return FSections; }
  const TSection* Find(std::string_view Section) const;
  std::string Read(std::string_view Section, std::string_view Name, std::string_view Default = {}) const;
  // Replaces the section with one holding Values, in place when it exists, else at the end.
  void WriteSection(std::string_view Section, std::vector<std::pair<std::string, std::string>> Values);
  // False when there was no such section.
  bool EraseSection(std::string_view Section);

 private:
  std::vector<TSection> FSections;
};

}  // namespace nxs
