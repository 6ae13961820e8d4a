// The engine's reading of project XML: a compact tree of elements, attributes and text that
// remembers where each element starts, so that errors can name the file, line and column.
// Document type declarations and entity declarations are refused: project files never need
// them and they are the usual door to entity expansion attacks.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace nxs::engine {

struct TXmlAttribute {
  std::string Name;
  std::string Value;
};

struct TXmlElement {
  std::string Name;
  std::vector<TXmlAttribute> Attributes;
  std::vector<std::unique_ptr<TXmlElement>> Children;
  // The character data directly inside the element (comments left out).
  std::string Text;
  int Line = 0;
  int Column = 0;

  // Attribute names compare without regard to case. Null when absent.
  const std::string* Attribute(std::string_view Name) const;
  // The attribute's value, empty when absent.
  const std::string& AttributeOr(std::string_view Name) const;
  bool Is(std::string_view ElementName) const;
};

struct TXmlDocument {
  std::string FileName;  // full path, "/" separators
  std::unique_ptr<TXmlElement> Root;
};

// Gives the elements of Text the places of the elements of File that they stand for, Text
// being File re-written (in another layout, without its comments, perhaps with changes not
// yet saved), so that messages name the places the user sees on disk. Children pair by name,
// in order (the longest common sequence); an element that File lacks takes its parent's place.
void TakePositions(TXmlElement& Text, const TXmlElement& File);

// Parses Text as the project file FileName. Raises EEngineError naming the file, line and
// column for malformed XML, a document type declaration or a root that is not <Project>.
std::unique_ptr<TXmlDocument> ParseProjectXml(const std::string& FileName, std::string_view Text);

}  // namespace nxs::engine
