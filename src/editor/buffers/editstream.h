// Reading and writing a buffer's text for plug-ins and other parts of the system: writers
// that patch the text by offsets of the original, readers by offset, and a read-only stream.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "editor/buffers/edtracker.h"
#include "editor/kernel/ek.h"

namespace nxs {

class TEditBuffer;

// Offsets are bytes of the text as it was when the writer was made: CopyTo keeps text up to
// an offset, DeleteTo drops it, Insert adds text at the current place.
class TEditWriter {
 public:
  TEditWriter(TEditBuffer& Buffer, bool Undoable);
  ~TEditWriter();
  TEditWriter(const TEditWriter&) = delete;  // holds kernel state it restores
  TEditWriter& operator=(const TEditWriter&) = delete;

  // An empty text changes nothing and is not checked against the read-only state.
  void Insert(std::string_view Text);
  void DeleteTo(uint32_t Offset);
  void CopyTo(uint32_t Offset);
  // The offset reached in the original text.
  uint32_t Position() const { return FFilePos; }
  TCharPos GetCurrentPos() const { return FEdFile.CharPos; }
  void BeginAction();
  void EndAction();
  // Raises "The edit buffer of '%s' is marked read-only" for a read-only buffer.
  void CheckReadOnly();

 private:
  TEditBuffer& FBuffer;
  PEkView FEkView;
  TEdFile FEdFile{};
  uint32_t FFilePos = 0;
  uint32_t FOldModes = 0;
  uint8_t FOldHighlighter = 0;
  bool FUndoable;
  bool FChanged = false;
  TBlockType FOldBlockType = btInclusive;
  TEdTracker FCursorTracker;
  int FActionDepth = 0;
};

class TEditReader {
 public:
  virtual ~TEditReader() = default;
  // Copies up to Count bytes from Offset; returns how many.
  virtual int GetText(uint32_t Offset, char* Buffer, int Count) = 0;
};

class TEditViewReader : public TEditReader {
 public:
  explicit TEditViewReader(TEditBuffer& Buffer);
  ~TEditViewReader() override;
  // Raises EAbort when the buffer was reloaded since the reader was made.
  int GetText(uint32_t Offset, char* Buffer, int Count) override;

 private:
  TEditBuffer& FBuffer;
  TEdFile FEdFile{};
  uint32_t FModificationCount;
};

// A read-only stream over the text, optionally starting with the UTF-8 byte-order mark.
class TEditorStream {
 public:
  TEditorStream(std::string Text) : FText(std::move(Text)) {}
  int Read(char* Buffer, int Count);
  // Writing writes nothing.
  int Write(const char*, int) { return 0; }
  uint64_t Size() const { return FText.size(); }
  uint64_t Position() const { return FPos; }
  void Seek(uint64_t Pos) { FPos = Pos < FText.size() ? Pos : FText.size(); }

 private:
  std::string FText;
  uint64_t FPos = 0;
};
// Raises EEditorError "Unable to open editor for reading" when the buffer has no text store.
std::unique_ptr<TEditorStream> OpenEditorStream(TEditBuffer& Buffer, bool ByteOrderMark);

}  // namespace nxs
