// Reading XML text into a node tree and writing a node tree back as text in the system's
// own layout (four spaces per level, CRLF line breaks, no XML declaration).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "projectfiles/errors.h"
#include "projectfiles/nodes.h"

namespace nxs {

class IFileWriter;

// What a project file can hold, checked where names and texts enter a tree, so that a
// writer never writes what cannot be read back. A text holds UTF-8 without control
// characters other than tab, line feed and carriage return; a name is an XML name without
// a namespace prefix. Raise EInvalidXmlText / EInvalidTagName saying what is wrong.
void CheckXmlText(std::string_view Text);
void CheckXmlName(std::string_view Name);
bool IsXmlName(std::string_view Name);
// The text for a message: control characters and bytes that are not UTF-8 as \xNN, and
// cut after 100 bytes.
std::string PrintableText(std::string_view Text);

// Raises EInOutError ("The project file ... could not be read: it is not a regular file")
// when FileName stands for a pipe, a device or a folder: a pipe would be waited on for ever
// and a device read without end. Every reader of project files asks before it opens one; a
// name that does not exist passes, for the read to report.
void CheckRegularProjectFile(const std::string& FileName);

// Builds a tree from XML text with expat (namespaces on). The classes come from the
// node-class registry. Comments, processing instructions, the XML declaration and blank
// text between elements are not kept. A document that declares a document type, an entity
// or an external subset is refused: nothing outside the text is ever loaded.
class TXmlReader {
 public:
  TXmlReader();
  TXmlReader(const TXmlReader&) = delete;  // holds a parser
  TXmlReader& operator=(const TXmlReader&) = delete;
  virtual ~TXmlReader();

  // The root node (the last element closed). Raises EParseException with every error the
  // parser reported ("Fatal error 4. not well-formed Line 3, column 7."), and
  // EInOutError when the file cannot be read or is no regular file. A file is read straight
  // into the parser.
  std::unique_ptr<TNode> ReadFile(const std::string& FileName);
  std::unique_ptr<TNode> Read(std::string_view Xml);

  // Warnings the last read reported, one per line.
  const std::string& Warnings() const { return FWarnings; }

 protected:
  // Identifier comments: only TProjectXmlReader reads them.
  virtual bool ReadsIdentifierComments() const { return false; }

 private:
  struct TState;
  // Hands the parser its input.
  class TFeed;
  std::unique_ptr<TNode> Parse(TFeed& Feed);
  // The tree building steps that reach into a node past its notifications: a node that is
  // being read is not yet a change of anything.
  static void AppendValue(TNode& Node, std::string_view Text, TNodeArena& Arena);
  static void SetCData(TNode& Node);
  static void AppendChild(TNode& Parent, std::unique_ptr<TNode> Child, TNodeArena& Arena);
  static bool HasChildNodes(const TNode& Node) { return Node.FNodes.Count() != 0; }
  static void ClearValue(TNode& Node);
  static void SetId(TNode& Node, std::string_view Id, TNodeArena& Arena);
  static void StartChildren(TNode& Node, TNodeArena& Arena);
  static TNode* Construct(const TNodeClass& Class, TNodeArena& Arena);
  static void AdoptArena(TNode& Root, std::unique_ptr<TNodeArena> Arena);
  static void SetContent(TNode& Node, std::string_view Name,
                         const std::vector<std::pair<std::string_view, const char*>>& Attrs, TNodeArena& Arena);

  std::string FWarnings;
};

// The reader for project documents: also reads identifier comments ("<!-- __Id -->"), whose
// text after "__" becomes the Id of the next element.
class TProjectXmlReader : public TXmlReader {
 protected:
  bool ReadsIdentifierComments() const override { return true; }
};

enum TXmlEncoding { xeUTF8, xeUTF16 };

// Writes a tree as text, appended to a string. Strings are UTF-8 throughout, so both
// encodings produce the same bytes; xeUTF16 stands for the in-memory text form that GetXml
// returns.
class TXmlWriter {
 public:
  // With MarkWritten the nodes' AfterWrite runs (clearing their modified flags): for saving.
  // Text made for other purposes (GetXml) leaves the flags alone.
  explicit TXmlWriter(std::string& Stream, TXmlEncoding Encoding = xeUTF8, bool MarkWritten = true);
  TXmlWriter(const TXmlWriter&) = delete;  // writes into one borrowed string
  TXmlWriter& operator=(const TXmlWriter&) = delete;

  void Write(TNode& Node);
  // Hands the text over to File whenever it has grown to FlushAt bytes (between nodes), so
  // that a large document is never held whole; Flush hands over the rest.
  void StreamTo(IFileWriter& File, size_t FlushAt) {
    FFile = &File;
    FFlushAt = FlushAt;
  }
  void Flush();
  TXmlEncoding Encoding() const { return FEncoding; }
  // With MarkWritten, collects the nodes that were modified before they were written, so
  // that a caller whose file could not be stored can mark them modified again.
  void RecordModified(std::vector<TNode*>* Nodes) { FWasModified = Nodes; }

  // Appends Text escaped for element content ("&apos;" for an apostrophe) or for an
  // attribute value (apostrophes kept). A text starting with "<![CDATA[" goes unchanged.
  static void EscapeText(std::string& Out, std::string_view Text);
  static void EscapeAttribute(std::string& Out, std::string_view Text);
  // About the size the text of Node will take, for reserving the buffer.
  static size_t EstimateSize(const TNode& Node);

 private:
  void WriteNode(TNode& Node);

  std::string FIndentStr;
  int FIndentSize = 4;
  int FNestingLevel = -1;
  std::string& FStream;
  TXmlEncoding FEncoding;
  bool FMarkWritten;
  std::vector<TNode*>* FWasModified = nullptr;
  IFileWriter* FFile = nullptr;
  size_t FFlushAt = 0;
};

// The tree written as text (no byte-order mark).
std::string WriteXmlText(TNode& Node);

}  // namespace nxs
