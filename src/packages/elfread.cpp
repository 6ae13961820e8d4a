#include "packages/elfread.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "packages/resstrings.h"
#include "shared/format.h"

namespace nxs {

namespace {

constexpr uint64_t HeaderSize = 64;
constexpr uint64_t SectionEntrySize = 64;
constexpr uint64_t SymbolEntrySize = 24;
// More sections than any linker makes; a count beyond it is a hostile file's.
constexpr uint64_t MaxSections = 1u << 16;
constexpr uint32_t ShtSymtab = 2, ShtNobits = 8, ShtDynsym = 11;
constexpr uint16_t ShnUndef = 0, ShnXIndex = 0xffff;

class TFileBytes : public IElfBytes {
 public:
  explicit TFileBytes(const std::string& Name) : FIn(Name, std::ios::binary) {
    if (!FIn) return;
    FIn.seekg(0, std::ios::end);
    const std::streamoff End = FIn.tellg();
    FSize = End > 0 ? static_cast<uint64_t>(End) : 0;
  }
  bool IsOpen() const { return static_cast<bool>(FIn); }
  uint64_t Size() const override { return FSize; }
  void Read(uint64_t Offset, void* Into, size_t Count) override {
    FIn.clear();
    FIn.seekg(static_cast<std::streamoff>(Offset));
    FIn.read(static_cast<char*>(Into), static_cast<std::streamsize>(Count));
    // A file that shrank under the reader reads as zeros, which the checks then refuse.
    const size_t Got = FIn ? Count : static_cast<size_t>(FIn.gcount());
    if (Got < Count) std::memset(static_cast<char*>(Into) + Got, 0, Count - Got);
  }

 private:
  std::ifstream FIn;
  uint64_t FSize = 0;
};

class TMemoryBytes : public IElfBytes {
 public:
  explicit TMemoryBytes(std::string_view Bytes) : FBytes(Bytes) {}
  uint64_t Size() const override { return FBytes.size(); }
  void Read(uint64_t Offset, void* Into, size_t Count) override { std::memcpy(Into, FBytes.data() + Offset, Count); }

 private:
  std::string_view FBytes;
};

template <class T>
T Get(const unsigned char* P) {
  T V = 0;
  for (size_t I = 0; I < sizeof(T); ++I) V |= static_cast<T>(static_cast<T>(P[I]) << (8 * I));
  return V;
}

// Whether [Offset, Offset + Count) lies inside Size, without overflowing.
bool Inside(uint64_t Offset, uint64_t Count, uint64_t Size) { return Offset <= Size && Count <= Size - Offset; }

// The NUL-terminated name at Offset of a string table; nothing when it runs off the table.
std::optional<std::string> NameAt(const std::string& Table, uint64_t Offset) {
  if (Offset >= Table.size()) return std::nullopt;
  const size_t End = Table.find('\0', static_cast<size_t>(Offset));
  if (End == std::string::npos) return std::nullopt;
  return Table.substr(static_cast<size_t>(Offset), End - static_cast<size_t>(Offset));
}

}  // namespace

std::unique_ptr<IElfBytes> ElfFileBytes(const std::string& FileName) {
  // A folder opens for reading but reads as nothing: say what it is.
  std::error_code Ec;
  if (std::filesystem::is_directory(FileName, Ec))
    throw EElfError(Format(res::SElfCannotOpen, FileName, std::strerror(EISDIR)));
  errno = 0;
  auto Bytes = std::make_unique<TFileBytes>(FileName);
  const int Err = errno;
  if (!Bytes->IsOpen()) throw EElfError(Format(res::SElfCannotOpen, FileName, std::strerror(Err ? Err : EIO)));
  return Bytes;
}

std::unique_ptr<IElfBytes> ElfMemoryBytes(std::string_view Bytes) { return std::make_unique<TMemoryBytes>(Bytes); }

TElfFile::TElfFile(std::unique_ptr<IElfBytes> Bytes, std::string Name) : FBytes(std::move(Bytes)), FName(std::move(Name)) {
  FSize = FBytes->Size();
  ReadHeader();
}

void TElfFile::Fail(const std::string& What) const { throw EElfError(Format(res::SElfUnreadable, FName, What)); }

void TElfFile::ReadAt(uint64_t Offset, void* Into, uint64_t Count) {
  if (!Inside(Offset, Count, FSize)) Fail(res::SElfTooShort);
  FBytes->Read(Offset, Into, static_cast<size_t>(Count));
}

void TElfFile::ReadHeader() {
  if (FSize < HeaderSize) Fail(res::SElfTooShort);
  unsigned char H[HeaderSize];
  ReadAt(0, H, HeaderSize);
  if (std::memcmp(H, "\x7f" "ELF", 4) != 0) Fail(res::SElfNotElf);
  if (H[4] != 2 /* 64-bit */ || H[5] != 1 /* little-endian */) Fail(res::SElfNot64);
  const uint64_t TableOffset = Get<uint64_t>(H + 40);
  const uint16_t EntrySize = Get<uint16_t>(H + 58);
  uint64_t Count = Get<uint16_t>(H + 60);
  uint32_t NamesIndex = Get<uint16_t>(H + 62);
  if (TableOffset == 0) return;  // no sections at all
  if (EntrySize != SectionEntrySize) Fail(Format(res::SElfBadSectionEntry, EntrySize));
  if (!Inside(TableOffset, SectionEntrySize, FSize)) Fail(res::SElfBadSectionTable);
  unsigned char E[SectionEntrySize];
  // Section 0 holds the count and the name table's index when they do not fit the header.
  ReadAt(TableOffset, E, SectionEntrySize);
  if (Count == 0) Count = Get<uint64_t>(E + 32);
  if (NamesIndex == ShnXIndex) NamesIndex = Get<uint32_t>(E + 40);
  if (Count > MaxSections) Fail(Format(res::SElfTooManySections, static_cast<unsigned>(std::min<uint64_t>(Count, UINT32_MAX))));
  if (!Inside(TableOffset, Count * SectionEntrySize, FSize)) Fail(res::SElfBadSectionTable);

  std::vector<uint32_t> NameOffsets;
  FSections.reserve(static_cast<size_t>(Count));
  for (uint64_t I = 0; I < Count; ++I) {
    ReadAt(TableOffset + I * SectionEntrySize, E, SectionEntrySize);
    TElfSection S;
    NameOffsets.push_back(Get<uint32_t>(E + 0));
    S.Type = Get<uint32_t>(E + 4);
    S.Flags = Get<uint64_t>(E + 8);
    S.Offset = Get<uint64_t>(E + 24);
    S.Size = Get<uint64_t>(E + 32);
    S.Link = Get<uint32_t>(E + 40);
    S.EntrySize = Get<uint64_t>(E + 56);
    FSections.push_back(std::move(S));
  }
  if (FSections.empty()) return;
  if (NamesIndex == 0 || NamesIndex >= FSections.size()) Fail(res::SElfBadNameTable);
  const std::string Names = SectionBytes(FSections[NamesIndex], FSize);
  for (size_t I = 1; I < FSections.size(); ++I) {
    std::optional<std::string> Name = NameAt(Names, NameOffsets[I]);
    if (!Name) Fail(Format(res::SElfBadName, static_cast<unsigned>(I)));
    FSections[I].Name = std::move(*Name);
  }
}

const TElfSection* TElfFile::FindSection(std::string_view Name) const {
  for (const TElfSection& S : FSections)
    if (S.Name == Name) return &S;
  return nullptr;
}

std::string TElfFile::SectionBytes(const TElfSection& Section, uint64_t MaxBytes) {
  if (Section.Type == ShtNobits) return {};
  if (!Inside(Section.Offset, Section.Size, FSize)) Fail(Format(res::SElfBadSection, Section.Name));
  if (Section.Size > MaxBytes)
    Fail(Format(res::SElfSectionTooLarge, Section.Name, static_cast<unsigned>(std::min<uint64_t>(MaxBytes, UINT32_MAX))));
  std::string Bytes(static_cast<size_t>(Section.Size), '\0');
  ReadAt(Section.Offset, Bytes.data(), Section.Size);
  return Bytes;
}

std::optional<TElfSymbol> TElfFile::FindSymbol(std::string_view Name) {
  for (const uint32_t Type : {ShtDynsym, ShtSymtab}) {
    for (const TElfSection& Table : FSections) {
      if (Table.Type != Type) continue;
      if (Table.EntrySize != SymbolEntrySize || Table.Link == 0 || Table.Link >= FSections.size() ||
          Table.Size % SymbolEntrySize != 0)
        Fail(Format(res::SElfBadSymbolTable, Table.Name));
      const std::string Symbols = SectionBytes(Table, FSize);
      const std::string Strings = SectionBytes(FSections[Table.Link], FSize);
      for (size_t Off = 0; Off + SymbolEntrySize <= Symbols.size(); Off += SymbolEntrySize) {
        const auto* P = reinterpret_cast<const unsigned char*>(Symbols.data() + Off);
        const uint32_t NameOffset = Get<uint32_t>(P);
        // Compared in place: most symbols are not the one looked for.
        if (NameOffset >= Strings.size() || Strings.compare(NameOffset, Name.size(), Name) != 0 ||
            NameOffset + Name.size() >= Strings.size() || Strings[NameOffset + Name.size()] != '\0')
          continue;
        const uint16_t SectionIndex = Get<uint16_t>(P + 6);
        if (SectionIndex == ShnUndef) continue;
        TElfSymbol S;
        S.Name = std::string(Name);
        S.Type = P[4] & 0xf;
        S.Value = Get<uint64_t>(P + 8);
        S.Defined = true;
        return S;
      }
    }
  }
  return std::nullopt;
}

}  // namespace nxs
