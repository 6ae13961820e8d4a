// A small reader of 64-bit little-endian ELF files: the section table, one section's bytes and
// the symbol tables. It reads packages the user has not yet decided to trust, so it never
// runs anything and checks every offset, size and count against the file before it uses it:
// a truncated or hostile file raises EElfError with the file's name and what is wrong.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shared/exceptions.h"

namespace nxs {

class EElfError : public Exception {
 public:
  using Exception::Exception;
};

// Where the reader takes its bytes from: a file read piece by piece, or bytes in memory.
class IElfBytes {
 public:
  virtual ~IElfBytes() = default;
  virtual uint64_t Size() const = 0;
  // Reads Count bytes at Offset; the reader has checked that they lie inside Size().
  virtual void Read(uint64_t Offset, void* Into, size_t Count) = 0;
};

std::unique_ptr<IElfBytes> ElfFileBytes(const std::string& FileName);
std::unique_ptr<IElfBytes> ElfMemoryBytes(std::string_view Bytes);

struct TElfSection {
  std::string Name;
  uint32_t Type = 0;
  uint64_t Flags = 0;
  uint64_t Offset = 0;
  uint64_t Size = 0;
  uint32_t Link = 0;
  uint64_t EntrySize = 0;
};

struct TElfSymbol {
  std::string Name;
  uint64_t Value = 0;  // the address relative to the library's load base
  uint8_t Type = 0;    // STT_FUNC, STT_OBJECT, ...
  bool Defined = false;
};

class TElfFile {
 public:
  // Reads the header and the section table. Name is the file's name for messages.
  TElfFile(std::unique_ptr<IElfBytes> Bytes, std::string Name);
  TElfFile(const TElfFile&) = delete;  // owns its byte source
  TElfFile& operator=(const TElfFile&) = delete;

  const std::vector<TElfSection>& Sections() const { return FSections; }
  const TElfSection* FindSection(std::string_view Name) const;
  // A section's bytes; a section that holds none in the file (SHT_NOBITS) reads as nothing.
  // Sections larger than MaxBytes are refused.
  std::string SectionBytes(const TElfSection& Section, uint64_t MaxBytes);
  // The first defined symbol named Name, in the dynamic symbol table and then the full one.
  std::optional<TElfSymbol> FindSymbol(std::string_view Name);

 private:
  [[noreturn]] void Fail(const std::string& What) const;
  void ReadAt(uint64_t Offset, void* Into, uint64_t Count);
  void ReadHeader();

  std::unique_ptr<IElfBytes> FBytes;
  std::string FName;
  uint64_t FSize = 0;
  std::vector<TElfSection> FSections;
};

}  // namespace nxs
