// Edit buffers: creation, loading and saving, the modified state and its undo objects,
// markers, views, and the process-wide list of open buffers.
#include "editor/buffers/editbuffer.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <ctime>
#include <map>
#include <memory>
#include <span>
#include <thread>
#include <typeinfo>

#include "editor/buffers/charwidth.h"
#include "editor/buffers/edkrnl.h"
#include "editor/buffers/edoptions.h"
#include "editor/buffers/ekinit.h"
#include "editor/buffers/readahead.h"
#include "editor/buffers/resstrings.h"
#include "shared/dialogs.h"
#include "shared/dosdate.h"
#include "shared/exceptions.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/largeblock.h"
#include "shared/linescan.h"
#include "shared/resstrings.h"
#include "shared/text.h"

namespace nxs {

std::atomic<uint32_t> ReloadCounter{0};

namespace {

constexpr const char* Utf8Bom = "\xEF\xBB\xBF";
constexpr const char* FilterUTF8 = "Tarvos.FileFilter.UTF8";
constexpr const char* FilterANSI = "Tarvos.FileFilter.ANSI";
constexpr const char* FilterUTF16LE = "Tarvos.FileFilter.UTF16LE";
constexpr const char* FilterUTF16BE = "Tarvos.FileFilter.UTF16BE";

std::mutex RegistryLock;
std::vector<TEditBuffer*>& Registry() {
  static std::vector<TEditBuffer*> R;
  return R;
}

// A script that set mfModifiedNotify (the kernel lock cleared it as the event went): the
// buffer tells its module.
void OnKernelBufferModified(TEvEditBufferModified& Args) {
  TEditBuffer* Buffer = TEditBuffer::FromKernelBuffer(Args.Buffer);
  if (Buffer) Buffer->SourceModified();
}

void HookKernelEvents() {
  static std::once_flag Once;
  std::call_once(Once, [] { EvEditBufferModified().Add(&Registry(), &OnKernelBufferModified); });
}

// A file read whole into memory from malloc, which the kernel can take over as it lies: not
// cleared first (the read fills it), a large one on huge pages, which spare most of the page
// faults of filling it.
class TRawFile : public IReadTarget {
 public:
  TRawFile() = default;
  TRawFile(const TRawFile&) = delete;  // owns its memory
  TRawFile& operator=(const TRawFile&) = delete;
  TRawFile& operator=(TRawFile&& Other) noexcept {
    std::swap(FData, Other.FData);
    std::swap(FSize, Other.FSize);
    std::swap(FCapacity, Other.FCapacity);
    return *this;
  }
  ~TRawFile() override { std::free(FData); }
  std::span<char> Room(size_t Wanted) override {
    if (FCapacity - FSize < Wanted) {
      const size_t Capacity = std::max(FSize + Wanted, FCapacity * 2);
      if (!FData) {
        // The first room holds the whole file as it stood: aligned, on huge pages throughout.
        FData = static_cast<char*>(AllocateLarge(Capacity));
      } else {
        char* Grown = static_cast<char*>(std::realloc(FData, Capacity));
        if (!Grown) throw std::bad_alloc();
        if (Capacity - FSize >= (size_t{8} << 20)) AdviseHugePages(Grown + FSize, Capacity - FSize);
        FData = Grown;
      }
      FCapacity = Capacity;
    }
    return {FData + FSize, FCapacity - FSize};
  }
  bool Filled(size_t Count, bool) override {
    FSize += Count;
    return true;
  }
  std::string_view Text() const { return {FData, FSize}; }
  // Hands the memory over to whoever frees it next; the file is empty afterwards. Room a file
  // that grew while it was read left over goes back first.
  char* Release() {
    if (FCapacity - FSize > (size_t{1} << 20))
      if (char* Shrunk = static_cast<char*>(std::realloc(FData, std::max<size_t>(FSize, 1)))) FData = Shrunk;
    char* Data = FData;
    FData = nullptr;
    FSize = FCapacity = 0;
    return Data;
  }

 private:
  char* FData = nullptr;
  size_t FSize = 0, FCapacity = 0;
};

// Takes the text from the kernel and writes it to a file a megabyte at a time, or a large
// piece at once. A failing write is kept for the caller and stops the kernel (-1).
struct TFileSink {
  static constexpr size_t Piece = size_t{1} << 20;
  IFileWriter& File;
  std::string Pending;
  std::exception_ptr Error;
  static int32_t Take(void* Context, const char* Buffer, int32_t Count) {
    auto& S = *static_cast<TFileSink*>(Context);
    try {
      const std::string_view Chunk(Buffer, static_cast<size_t>(Count));
      if (Chunk.size() >= Piece) {
        // A large piece of the text goes to the file as it lies, never through Pending.
        if (!S.Pending.empty()) S.Flush();
        S.File.Write(Chunk);
        return Count;
      }
      S.Pending.append(Chunk);
      if (S.Pending.size() >= Piece) S.Flush();
      return Count;
    } catch (...) {
      S.Error = std::current_exception();
      return -1;
    }
  }
  void Flush() {
    File.Write(Pending);
    Pending.clear();
  }
};

std::string Latin1ToUtf8(std::string_view Data) {
  std::string Out;
  Out.reserve(Data.size());
  for (char C : Data) {
    const auto B = static_cast<unsigned char>(C);
    if (B < 0x80) {
      Out += C;
    } else {
      Out += static_cast<char>(0xC0 | (B >> 6));
      Out += static_cast<char>(0x80 | (B & 0x3F));
    }
  }
  return Out;
}

// False when a character has no Latin-1 form.
bool Utf8ToLatin1(std::string_view Data, std::string& Out) {
  Out.clear();
  while (!Data.empty()) {
    uint32_t Ch;
    bool Valid;
    const int Len = DecodeUtf8(Data, Ch, Valid);
    if (!Valid || Ch > 0xFF) return false;
    Out += static_cast<char>(Ch);
    Data.remove_prefix(static_cast<size_t>(Len));
  }
  return true;
}

// UTF-16 in the given byte order to UTF-8; false when the bytes are no UTF-16 text (an odd
// count, a surrogate without its partner).
bool Utf16ToUtf8(std::string_view Data, bool BigEndian, std::string& Out) {
  if (Data.size() % 2) return false;
  Out.clear();
  Out.reserve(Data.size() / 2 * 3 / 2);
  const auto Unit = [&](size_t I) {
    const auto B0 = static_cast<unsigned char>(Data[I]), B1 = static_cast<unsigned char>(Data[I + 1]);
    return static_cast<uint32_t>(BigEndian ? (B0 << 8) | B1 : (B1 << 8) | B0);
  };
  for (size_t I = 0; I < Data.size(); I += 2) {
    uint32_t Ch = Unit(I);
    if (Ch >= 0xDC00 && Ch <= 0xDFFF) return false;
    if (Ch >= 0xD800 && Ch <= 0xDBFF) {
      if (I + 2 >= Data.size()) return false;
      const uint32_t Low = Unit(I + 2);
      if (Low < 0xDC00 || Low > 0xDFFF) return false;
      Ch = 0x10000 + ((Ch - 0xD800) << 10) + (Low - 0xDC00);
      I += 2;
    }
    AppendUtf8(Out, Ch);
  }
  return true;
}

// A byte that begins no UTF-8 sequence (the text came from elsewhere) becomes U+FFFD.
std::string Utf8ToUtf16(std::string_view Text, bool BigEndian) {
  std::string Out;
  Out.reserve(Text.size() * 2);
  const auto Put = [&](uint32_t U) {
    const char Hi = static_cast<char>(U >> 8), Lo = static_cast<char>(U & 0xFF);
    Out += BigEndian ? Hi : Lo;
    Out += BigEndian ? Lo : Hi;
  };
  while (!Text.empty()) {
    uint32_t Ch;
    bool Valid;
    const int Len = DecodeUtf8(Text, Ch, Valid);
    if (!Valid) Ch = 0xFFFD;
    if (Ch >= 0x10000) {
      Put(0xD800 + ((Ch - 0x10000) >> 10));
      Put(0xDC00 + ((Ch - 0x10000) & 0x3FF));
    } else {
      Put(Ch);
    }
    Text.remove_prefix(static_cast<size_t>(Len));
  }
  return Out;
}

bool IsUtf16Filter(const std::string& Filter) { return SameText(Filter, FilterUTF16LE) || SameText(Filter, FilterUTF16BE); }

// How a file's bytes are read and written again. A file that begins with a UTF-16 byte-order
// mark is UTF-16 in that byte order. A file that is not UTF-8 is 8-bit text: read as raw
// bytes, a character typed into it would be written in UTF-8 among bytes of another code
// page. Plain ASCII fits either, so the buffer keeps the form it had.
std::string ChooseFileFilter(std::string_view Data, const std::string& Current) {
  if (Data.substr(0, 3) == Utf8Bom) return FilterUTF8;
  bool HighBytes = false;
  for (size_t I = 0;;) {
    // Source text is mostly ASCII: stepped over in blocks, in one quick pass.
    I += AsciiPrefix(Data.data() + I, Data.size() - I);
    if (I >= Data.size()) break;
    uint32_t Ch;
    bool Valid;
    const int Len = DecodeUtf8(Data.substr(I), Ch, Valid);
    if (!Valid) return FilterANSI;
    HighBytes = true;
    I += static_cast<size_t>(Len);
  }
  if (HighBytes || Current.empty() || IsUtf16Filter(Current)) return FilterUTF8;
  return Current;
}

// A file's bytes as the buffer holds them: UTF-8 text, and how to write it back.
struct TFileText {
  std::string Filter;
  bool HasBOM = false;
  std::string Converted;  // the text, where the file is not UTF-8
  std::string_view Text;  // the text: into the file's bytes, or into Converted
  // Text is the file's bytes from here on (past a byte-order mark), not converted.
  bool InPlace = false;
  size_t Skip = 0;
};

void DecodeFileText(std::string_view Data, const std::string& Current, TFileText& Out) {
  const bool LE = Data.substr(0, 2) == "\xFF\xFE", BE = Data.substr(0, 2) == "\xFE\xFF";
  if ((LE || BE) && Utf16ToUtf8(Data.substr(2), BE, Out.Converted)) {
    Out.Filter = BE ? FilterUTF16BE : FilterUTF16LE;
    Out.HasBOM = true;
    Out.Text = Out.Converted;
    return;
  }
  Out.Filter = ChooseFileFilter(Data, Current);
  if (SameText(Out.Filter, FilterANSI)) {
    Out.HasBOM = false;
    Out.Converted = Latin1ToUtf8(Data);
    Out.Text = Out.Converted;
    return;
  }
  Out.HasBOM = Data.substr(0, 3) == Utf8Bom;
  Out.InPlace = true;
  Out.Skip = Out.HasBOM ? 3 : 0;
  Out.Text = Data.substr(Out.Skip);
}

std::vector<TPairDesc>& PairStorage(TEditBuffer* B) {
  // Pair tables stay alive for the kernel as long as the buffer: one slot per buffer.
  static std::map<TEditBuffer*, std::vector<TPairDesc>> Store;
  return Store[B];
}

}  // namespace

TEvent<TEvEditBufferLife>& EvEditBufferCreated() {
  static TEvent<TEvEditBufferLife> E;
  return E;
}
TEvent<TEvEditBufferLife>& EvEditBufferDestroyed() {
  static TEvent<TEvEditBufferLife> E;
  return E;
}
TEvent<TEvEditBufferLife>& EvEditBufferFileChanged() {
  static TEvent<TEvEditBufferLife> E;
  return E;
}

// -- Undo objects -------------------------------------------------------------------------------

TUndoRedoObject::TUndoRedoObject(TEditBuffer& Buffer) : FEditorBuffer(Buffer.KernelBuffer()), FEditBuffer(&Buffer) {}

TUndoRedoObject* TUndoRedoObject::Register(std::unique_ptr<TUndoRedoObject> Object, bool OwnStep) {
  TUndoRedoObject* Raw = Object.get();
  TEditBuffer* Buffer = Raw->FEditBuffer;
  Buffer->AddUndoObject(std::move(Object));
  if (OwnStep)
    AddClientUndoStep(Buffer->EkView(), &Execute, Raw);
  else
    AddClientUndoProc(Buffer->EkView(), ugGroupWithAny, &Execute, Raw);
  return Raw;
}

void TUndoRedoObject::Execute(void* Context, uint8_t Op) {
  auto* Self = static_cast<TUndoRedoObject*>(Context);
  switch (Op) {
    case EKExecuteOpUndo: Self->Undo(); break;
    case EKExecuteOpRedo: Self->Redo(); break;
    case EKExecuteOpDestroy: Self->FEditBuffer->RemoveUndoObject(Self); break;
  }
}

TUndoRedoObject::~TUndoRedoObject() = default;

void TModifiedUndoRedo::Swap() {
  if (FDisabled || !FEditorBuffer) return;
  TEdModesLock G;
  const uint16_t Current = FEditorBuffer->ModifyFlags;
  const uint16_t Kept = Current & 0x203;
  uint16_t New = static_cast<uint16_t>((Current & ~(mfModified | mfModifiedNotify)) | FSavedFlags);
  if ((FSavedFlags & mfModified) && FSavedFlags != Kept) New |= mfModifiedNotify;
  FEditorBuffer->ModifyFlags = New;
  FSavedFlags = Kept;
}

void TEditBuffer::AddUndoObject(std::unique_ptr<TUndoRedoObject> Object) { FModifiedUndoList.push_back(std::move(Object)); }

void TEditBuffer::RemoveUndoObject(TUndoRedoObject* Object) {
  std::erase_if(FModifiedUndoList, [Object](const std::unique_ptr<TUndoRedoObject>& O) { return O.get() == Object; });
}

void TEditBuffer::AddModifiedUndo(uint16_t SavedFlags) {
  for (auto& O : FModifiedUndoList)
    if (dynamic_cast<TModifiedUndoRedo*>(O.get())) O->Disable();
  TUndoRedoObject::Register(std::make_unique<TModifiedUndoRedo>(*this, SavedFlags));
}

// -- Creation ---------------------------------------------------------------------------------

TEditBuffer::TEditBuffer(const std::string& FileName, std::shared_ptr<IFileSystem> FS, IEditBufferOwner* Module)
    : FFileName(FileName), FFileSystem(std::move(FS)), FModule(Module) {}

std::shared_ptr<TEditBuffer> TEditBuffer::Create(const std::string& FileName, bool Load, std::shared_ptr<IFileSystem> FS,
                                                 IEditBufferOwner* Module) {
  InitEditorKernel();  // each buffer holds the kernel; the last one lets it go
  std::shared_ptr<TEditBuffer> B;
  try {
    B.reset(new TEditBuffer(FileName, std::move(FS), Module));
  } catch (...) {
    DoneEditorKernel();
    throw;
  }
  HookKernelEvents();
  B->InitEditorBuffer(Load);
  {
    std::lock_guard<std::mutex> G(RegistryLock);
    Registry().push_back(B.get());
  }
  TEvEditBufferLife Args(*B);
  EvEditBufferCreated().Send(Args);
  return B;
}

void TEditBuffer::InitEditorBuffer(bool Load) {
  NewEditor(nullptr, &FEkView);
  FKernelReady = true;
  ApplySourceOptions();
  FPreserveLineEnds = EditorOptionsSource().EditorOptions().PreserveLineEnds;
  if (Load) {
    LoadFile();
  } else {
    StampFileAge();
    FDiskAge = FFileAge;
    if (FFileFilter.empty()) FFileFilter = EditorOptionsSource().DefaultFileFilter();
    AddModifiedUndo(0);
  }
  FBreakListTable = std::make_unique<TEdTracker>(this);
  FBreakListTable->Attach();
  FCPULines = std::make_unique<TEdTracker>(this);
  FCPULines->Attach();
  FErrorLine = std::make_unique<TEdTracker>(this);
  FErrorLine->Attach();
  FEditorLineMarks = std::make_unique<TEditorLineMarks>(this);
}

void TEditBuffer::ApplySourceOptions() {
  std::string Name = ReplaceAllText(FFileName, "->", ".");
  const TBufferSourceOptions O = EditorOptionsSource().SourceOptionsFor(Name);
  const TEdOptionsStruct Ed = EditorOptionsSource().EditorOptions();
  std::vector<TPairDesc>& Pairs = PairStorage(this);
  Pairs = O.Pairs;
  {
    TEdModesLock G;
    FEkView.Editor->EdModes = O.EdModes;
    FEkView.Editor->PairTable = Pairs.empty() ? nullptr : Pairs.data();
    FEkView.Editor->NPairs = static_cast<uint16_t>(Pairs.size());
  }
  SetUndoLimit(&FEkView, static_cast<uint32_t>(std::max(0, Ed.UndoLimit)));
  SetBlockIndent(&FEkView, O.BlockIndent);
  std::vector<int> Stops;
  if (ParseTabStops(O.TabStops, Stops)) {
    TTabRack Rack{};
    Rack.Length = static_cast<uint16_t>(std::min<size_t>(Stops.size(), EkMaxTabStops));
    for (int I = 0; I < Rack.Length; ++I) Rack.Stops[I] = static_cast<uint16_t>(Stops[static_cast<size_t>(I)]);
    // One stop is a width ("8": every 8 columns).
    if (Rack.Length == 1) {
      Rack.TabWidth = Rack.Stops[0];
      Rack.Length = 0;
    }
    SetTabRack(&FEkView, Rack);
  }
}

TEditBuffer::~TEditBuffer() {
  TEvEditBufferLife Args(*this);
  EvEditBufferDestroyed().Send(Args);
  {
    std::lock_guard<std::mutex> G(RegistryLock);
    std::erase(Registry(), this);
  }
  FEditSource.reset();
  FBreakListTable.reset();
  FCPULines.reset();
  FErrorLine.reset();
  FEditorLineMarks.reset();
  if (FKernelReady) KillEditor(&FEkView);
  FModifiedUndoList.clear();
  PairStorage(this).clear();
  DoneEditorKernel();
}

std::shared_ptr<TEditBuffer> TEditBuffer::FindBuffer(const std::string& FileName) {
  std::lock_guard<std::mutex> G(RegistryLock);
  for (TEditBuffer* B : Registry())
    if (SameFileName(B->FFileName, FileName)) return B->weak_from_this().lock();
  return nullptr;
}

TEditBuffer* TEditBuffer::FromKernelBuffer(PEditorBuffer Buffer) {
  std::lock_guard<std::mutex> G(RegistryLock);
  for (TEditBuffer* B : Registry())
    if (B->KernelBuffer() == Buffer) return B;
  return nullptr;
}

std::vector<std::shared_ptr<TEditBuffer>> TEditBuffer::AllBuffers() {
  std::lock_guard<std::mutex> G(RegistryLock);
  std::vector<std::shared_ptr<TEditBuffer>> Out;
  for (TEditBuffer* B : Registry())
    if (auto P = B->weak_from_this().lock()) Out.push_back(std::move(P));
  return Out;
}

bool GetOpenBufferText(const std::string& FileName, std::string& Text) {
  std::shared_ptr<TEditBuffer> B = TEditBuffer::FindBuffer(FileName);
  if (!B) return false;
  B->Lock();
  try {
    Text = B->SavedText();
  } catch (...) {
    B->Unlock();
    throw;
  }
  B->Unlock();
  return true;
}

// -- Reading ahead ----------------------------------------------------------------------------

struct TFileReadAhead::TState {
  std::string FileName;  // expanded
  std::thread Reader;
  TRawFile Raw;
  TFileInfo Before, After;  // the file as it stood when the read began and when it ended
  int64_t ReadStartNs = 0;
  bool Read = false;
  bool Taken = false;
  std::mutex JoinLock;
  // The first part, read before the whole file; HeadDone once it is (or could not be) read.
  std::mutex HeadLock;
  std::condition_variable HeadReady;
  bool HeadDone = false;
  bool HeadWhole = false;  // the part is the whole file
  std::string Head;
  // The rest is read once the first screen is out (GoOn), not at the same time, nor at all
  // when nothing will take it (Dropped).
  bool GoOn = false;
  bool Dropped = false;
  void Release(bool Drop) {
    {
      std::lock_guard<std::mutex> G(HeadLock);
      GoOn = true;
      Dropped = Dropped || Drop;
    }
    HeadReady.notify_all();
  }
  void Wait() {
    std::lock_guard<std::mutex> G(JoinLock);
    if (Reader.joinable()) Reader.join();
  }
  void HeadRead(std::string Part, bool Whole) {
    {
      std::lock_guard<std::mutex> G(HeadLock);
      Head = std::move(Part);
      HeadWhole = Whole;
      HeadDone = true;
    }
    HeadReady.notify_all();
  }
};

namespace {

// The wall clock, as file times count.
int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// The file's time is no earlier than shortly before a read that began at StartNs: it may
// have been written while it was read, which its time, moving in coarse steps, need not show.
bool WrittenAbout(const TFileInfo& Info, int64_t StartNs) {
  constexpr int64_t Step = 50'000'000;
  return Info.Exists && Info.ModifiedTimeNs >= StartNs - Step;
}

std::mutex ReadAheadLock;
std::vector<std::shared_ptr<TFileReadAhead::TState>>& ReadAheads() {
  static std::vector<std::shared_ptr<TFileReadAhead::TState>> List;
  return List;
}

// The bytes read ahead of FileName, when the file is still the version read (Now is how it
// stands): they go to Raw, and Read is the stat that goes with them.
bool TakeReadAhead(const std::string& FileName, IFileSystem& FS, TRawFile& Raw, TFileInfo& Read) {
  std::shared_ptr<TFileReadAhead::TState> State;
  {
    std::lock_guard<std::mutex> G(ReadAheadLock);
    for (auto& S : ReadAheads())
      if (!S->Taken && SameFileName(S->FileName, FileName)) State = S;
    if (!State) return false;
    State->Taken = true;
  }
  // Only the disk's own files: a file system of a test's or the host's reads its own way.
  if (typeid(FS) != typeid(TDiskFileSystem)) {
    State->Release(true);
    return false;
  }
  State->Release(false);
  State->Wait();
  {
    // The first part has been shown, if it was to be.
    std::lock_guard<std::mutex> G(State->HeadLock);
    std::string().swap(State->Head);
  }
  // Out of the state at once: bytes of a version gone by are freed here, not at the end.
  TRawFile Got;
  Got = std::move(State->Raw);
  // Written about the time it was read: the opener reads it, twice if need be.
  if (!State->Read || !SameFileVersion(State->Before, State->After) || WrittenAbout(State->After, State->ReadStartNs))
    return false;
  const TFileInfo Now = FS.Stat(FileName);
  if (!SameFileVersion(Now, State->After)) return false;
  Raw = std::move(Got);
  Read = Now;
  return true;
}

// Takes the first bytes of a file and stops the read.
struct TFirstPartTarget : IReadTarget {
  std::string Part;
  bool Whole = false;
  std::span<char> Room(size_t) override {
    Part.resize(TFileReadAhead::FirstPartSize);
    return Part;
  }
  bool Filled(size_t Count, bool AtEnd) override {
    Part.resize(Count);
    Whole = AtEnd;
    return false;
  }
};

}  // namespace

void ReadAheadGoOn() {
  std::vector<std::shared_ptr<TFileReadAhead::TState>> All;
  {
    std::lock_guard<std::mutex> G(ReadAheadLock);
    All = ReadAheads();
  }
  for (auto& S : All) S->Release(false);
}

bool ReadAheadFirstPart(const std::string& FileName, std::string& Text) {
  const std::string Name = ExpandFileName(FileName);
  std::shared_ptr<TFileReadAhead::TState> State;
  {
    std::lock_guard<std::mutex> G(ReadAheadLock);
    for (auto& S : ReadAheads())
      if (!S->Taken && SameFileName(S->FileName, Name)) State = S;
  }
  if (!State) return false;
  std::unique_lock<std::mutex> G(State->HeadLock);
  State->HeadReady.wait(G, [&] { return State->HeadDone; });
  std::string_view Part = State->Head;
  if (Part.empty()) return false;
  if (!State->HeadWhole) {
    // Whole lines; a line longer than the part ends before its last character, which may
    // have been cut.
    const size_t LineEnd = Part.rfind('\n');
    if (LineEnd != std::string_view::npos) {
      Part = Part.substr(0, LineEnd + 1);
    } else {
      size_t Start = Part.size();
      while (Start > 0 && Part.size() - Start < 3 && (static_cast<unsigned char>(Part[Start - 1]) & 0xC0) == 0x80) --Start;
      if (Start > 0 && static_cast<unsigned char>(Part[Start - 1]) >= 0xC0) Part = Part.substr(0, Start - 1);
      // A carriage return whose line feed was cut off is no line end of its own.
      if (!Part.empty() && Part.back() == '\r') Part.remove_suffix(1);
    }
  }
  TFileText File;
  DecodeFileText(Part, "", File);
  if (!File.InPlace) return false;
  Text.assign(File.Text);
  return true;
}

TFileReadAhead::TFileReadAhead(const std::string& FileName) : FState(std::make_shared<TState>()) {
  FState->FileName = ExpandFileName(FileName);
  TDiskFileSystem Disk;
  FState->Before = Disk.Stat(FState->FileName);
  if (!FState->Before.Exists || FState->Before.IsDirectory || FState->Before.IsSpecial || FState->Before.Size < WorthFrom)
    return;
  TState* S = FState.get();
  FState->Reader = std::thread([S] {
    try {
      TDiskFileSystem Disk;
      TFirstPartTarget First;
      try {
        Disk.ReadFileInto(S->FileName, First);
      } catch (...) {
        S->HeadRead({}, false);
        throw;
      }
      S->HeadRead(std::move(First.Part), First.Whole);
      {
        std::unique_lock<std::mutex> G(S->HeadLock);
        S->HeadReady.wait(G, [S] { return S->GoOn; });
        if (S->Dropped) return;
      }
      S->ReadStartNs = NowNs();
      Disk.ReadFileInto(S->FileName, S->Raw);
      S->After = Disk.Stat(S->FileName);
      S->Read = true;
    } catch (const std::exception&) {
      // The opener reads the file again and tells what went wrong.
      S->Raw = TRawFile();
    }
  });
  std::lock_guard<std::mutex> G(ReadAheadLock);
  ReadAheads().push_back(FState);
}

void TFileReadAhead::Wait() {
  FState->Release(false);
  FState->Wait();
}

TFileReadAhead::~TFileReadAhead() {
  {
    std::lock_guard<std::mutex> G(ReadAheadLock);
    std::erase(ReadAheads(), FState);
    FState->Taken = true;
  }
  FState->Release(true);
  FState->Wait();
}

// -- Files ------------------------------------------------------------------------------------

IFileSystem& TEditBuffer::FileSystem() { return FFileSystem ? *FFileSystem : nxs::FileSystem(); }

void TEditBuffer::SetFileSystem(std::shared_ptr<IFileSystem> FS) { FFileSystem = std::move(FS); }

void TEditBuffer::StampFileAge() { FFileAge = UnixToFileDate(std::time(nullptr)); }

void TEditBuffer::LoadFile() {
  // Read first: a file that cannot be read leaves the buffer as it was, its lock included.
  IFileSystem& FS = FileSystem();
  TRawFile Raw;
  TFileInfo Info;
  if (!TakeReadAhead(FFileName, FS, Raw, Info)) {
    // The version noted is the one before the read: a change made while or just after the
    // file is read then shows at the next check of the file's date, where the stamp taken
    // after the read would hide it, and a save would write over it unasked. A file another
    // program is writing in place as it is read would come in as a mix of two versions: one
    // written about the time of the read is read again, after a pause, until it stood still
    // for the read and, file times moving in coarse steps, read the same twice.
    for (int Try = 1;; ++Try) {
      const int64_t Start = NowNs();
      Info = FS.Stat(FFileName);
      Raw = TRawFile();
      FS.ReadFileInto(FFileName, Raw);
      const TFileInfo After = FS.Stat(FFileName);
      if (!WrittenAbout(After, Start)) break;
      bool Still = SameFileVersion(Info, After);
      if (Still) {
        TRawFile Again;
        FS.ReadFileInto(FFileName, Again);
        Still = SameFileVersion(After, FS.Stat(FFileName)) && Again.Text() == Raw.Text();
      }
      if (Still || Try == 5) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  const std::string_view Data = Raw.Text();
  SetReadOnly(false);
  RememberDiskState(Info);
  TFileText File;
  DecodeFileText(Data, FFileFilter, File);
  FFileFilter = File.Filter;
  FHasBOM = File.HasBOM;
  if (File.InPlace && Data.size() <= UINT32_MAX) {
    // UTF-8 as it lies: the kernel keeps the bytes just read.
    FLineTooLong = false;
    const size_t Size = Data.size();
    ReadFromBuffer(&FEkView, Raw.Release(), Size, File.Skip);
    TextRead();
  } else {
    ReadText(File.Text);
  }
  FFileAge = FDiskAge;
  GetSourceEditable();
}

void TEditBuffer::RememberDiskState(const TFileInfo& Info) {
  FDiskAge = Info.Exists ? UnixToFileDate(Info.ModifiedTime) : -1;
  FDiskStamp = Info.Exists ? Info.ModifiedTimeNs : -1;
  FDiskSize = Info.Size;
  FDiskInode = Info.Inode;
}

std::string TEditBuffer::Text() {
  std::string Text;
  if (!WriteToStream(&FEkView, Text, true)) throw EEditorError(Format(res::SCannotWriteFile, FFileName, "write failed"));
  return Text;
}

std::string TEditBuffer::DiskText() {
  const std::string Data = FileSystem().ReadFile(FFileName);
  TFileText File;
  DecodeFileText(Data, FFileFilter, File);
  return std::string(File.Text);
}

void TEditBuffer::ReadText(std::string_view Utf8) {
  FLineTooLong = false;
  ReadFromText(&FEkView, Utf8);
  TextRead();
}

void TEditBuffer::TextRead() {
  {
    TEdModesLock G;
    FEkView.Editor->ModifyFlags &= static_cast<uint16_t>(~(mfModified | mfModifiedNotify | mfModifiedSince));
  }
  ClearLineModifiedFlags(&FEkView);
  // The kernel emptied the undo history; the first object marks the unmodified text.
  AddModifiedUndo(0);
  if (FLineTooLong) {
    SetModified(true);
    Questions().MessageDlg(res::SLinesTruncated, TMsgDlgType::mtError, mbOK, mrOk);
  }
}

void TEditBuffer::ReadFromStreamUTF8(std::string_view Data) {
  FHasBOM = Data.substr(0, 3) == Utf8Bom;
  if (FHasBOM) Data.remove_prefix(3);
  ReadText(Data);
}

void TEditBuffer::ReadFromStreamAnsi(std::string_view Data) {
  FHasBOM = false;
  ReadText(Latin1ToUtf8(Data));
}

std::string TEditBuffer::WriteToStreamUTF8() {
  std::string Out = FHasBOM ? Utf8Bom : "";
  if (!WriteToStream(&FEkView, Out, FPreserveLineEnds)) throw EEditorError(Format(res::SCannotWriteFile, FFileName, "write failed"));
  return Out;
}

std::string TEditBuffer::WriteToStreamAnsi() {
  std::string Text;
  if (!WriteToStream(&FEkView, Text, FPreserveLineEnds)) throw EEditorError(Format(res::SCannotWriteFile, FFileName, "write failed"));
  std::string Latin1;
  // A character the code page cannot hold keeps the file in UTF-8 rather than become "?".
  if (Utf8ToLatin1(Text, Latin1)) return Latin1;
  return Text;
}

std::string TEditBuffer::WriteToStreamUTF16() {
  std::string Text;
  if (!WriteToStream(&FEkView, Text, FPreserveLineEnds)) throw EEditorError(Format(res::SCannotWriteFile, FFileName, "write failed"));
  const bool BigEndian = SameText(FFileFilter, FilterUTF16BE);
  return (BigEndian ? "\xFE\xFF" : "\xFF\xFE") + Utf8ToUtf16(Text, BigEndian);
}

std::string TEditBuffer::SavedText() {
  if (SameText(FFileFilter, FilterANSI)) return WriteToStreamAnsi();
  if (IsUtf16Filter(FFileFilter)) return WriteToStreamUTF16();
  return WriteToStreamUTF8();
}

void TEditBuffer::WriteSavedText(IFileSystem& FS) {
  if (SameText(FFileFilter, FilterANSI) || IsUtf16Filter(FFileFilter)) {
    FS.WriteFile(FFileName, SavedText());
    return;
  }
  // UTF-8 as the kernel holds it: streamed, so that a large text is never held twice.
  std::unique_ptr<IFileWriter> File = FS.CreateFileWriter(FFileName);
  TFileSink Sink{*File, {}, nullptr};
  Sink.Pending.reserve(TFileSink::Piece + 4096);
  if (FHasBOM) Sink.Pending = Utf8Bom;
  if (!WriteToProc(&FEkView, &TFileSink::Take, &Sink, FPreserveLineEnds)) {
    if (Sink.Error) std::rethrow_exception(Sink.Error);
    throw EEditorError(Format(res::SCannotWriteFile, FFileName, "write failed"));
  }
  Sink.Flush();
  File->Commit();
}

void TEditBuffer::ConfirmSaveEncoding() {
  if (!SameText(FFileFilter, FilterANSI)) return;
  std::string Text, Latin1;
  if (!WriteToStream(&FEkView, Text, FPreserveLineEnds) || Utf8ToLatin1(Text, Latin1)) return;
  // A file not written yet has no encoding to keep.
  if (FileSystem().Stat(FFileName).Exists &&
      Questions().MessageDlg(Format(res::SSaveInUtf8, ExtractFileName(FFileName)), TMsgDlgType::mtConfirmation,
                             mbYes | mbNo, mrNo) != mrYes)
    throw EAbort();
  FFileFilter = FilterUTF8;
  FHasBOM = false;
}

void TEditBuffer::SaveFile() {
  ConfirmSaveEncoding();
  FSourceNotifiers.Notify([](IEditSourceNotifier& N) { N.BeforeSave(); });
  IFileSystem& FS = FileSystem();
  WriteSavedText(FS);
  RememberDiskState(FS.Stat(FFileName));
  FFileAge = FDiskAge;
  ClearLineModifiedFlags(&FEkView);
  uint16_t Before;
  {
    TEdModesLock G;
    Before = FEkView.Editor->ModifyFlags & 0x203;
  }
  SetModified(false);
  bool UndoAfterSave;
  {
    TEdModesLock G;
    UndoAfterSave = (FEkView.Editor->EdModes & emUndoAfterSave) != 0;
  }
  if (!UndoAfterSave) {
    ClearUndoBuffer();
  } else {
    AddModifiedUndo(Before);
  }
  FSourceNotifiers.Notify([](IEditSourceNotifier& N) { N.AfterSave(); });
  TEvEditBufferLife Args(*this);
  EvEditBufferFileChanged().Send(Args);
}

void TEditBuffer::SaveAndClose() {
  SaveFile();
  Close();
}

void TEditBuffer::Close() {
  for (IEditBufferView* V : FViewList) V->BufferClosing();
}

void TEditBuffer::Rename(const std::string& NewName) {
  FOldFileName = FFileName;
  FFileName = NewName;
  TEvEditBufferLife Args(*this);
  EvEditBufferFileChanged().Send(Args);
}

bool TEditBuffer::CheckFileDate() {
  const TFileInfo Info = FileSystem().Stat(FFileName);
  if (!Info.Exists) return false;  // an age of -1 never reports a change
  const int32_t Age = UnixToFileDate(Info.ModifiedTime);
  if (Age == -1) return false;
  if (!ChangedOnDisk(Info)) return false;
  RememberDiskState(Info);
  return true;
}

bool TEditBuffer::ChangedOnDisk(const TFileInfo& Info) const {
  // A copy that keeps the time (cp -p) or a tool that restores it leaves the time as it was:
  // the size or the file itself (another inode, a file renamed into place) still tells.
  return UnixToFileDate(Info.ModifiedTime) != FDiskAge || Info.ModifiedTimeNs != FDiskStamp || Info.Size != FDiskSize ||
         Info.Inode != FDiskInode;
}

bool TEditBuffer::DiskDiffers() {
  const TFileInfo Info = FileSystem().Stat(FFileName);
  return GetIsModified() || (Info.Exists && ChangedOnDisk(Info));
}

void TEditBuffer::ReloadFile() {
  std::vector<std::function<void()>> PutBack;
  PutBack.reserve(FViewList.size());
  for (IEditBufferView* V : FViewList) PutBack.push_back(V->KeepAcrossReload());
  LoadFile();
  FFileAge = FDiskAge;
  ++ReloadCounter;
  for (const auto& Restore : PutBack) Restore();
  RefreshViews();
}

void TEditBuffer::SourceReloaded() {
  TEvEditBufferLife Args(*this);
  EvEditBufferFileChanged().Send(Args);
}

// -- Modified state ---------------------------------------------------------------------------

bool TEditBuffer::GetIsModified() const {
  TEdModesLock G;
  return (FEkView.Editor->ModifyFlags & (mfModified | mfModifiedNotify)) != 0;
}

void TEditBuffer::SetModified(bool Modified) {
  {
    TEdModesLock G;
    if (Modified) {
      FEkView.Editor->ModifyFlags |= mfModified | mfModifiedNotify;
    } else {
      if (EGD.PreventClearModifyFlag) return;
      FEkView.Editor->ModifyFlags &= static_cast<uint16_t>(~(mfModified | mfModifiedNotify | mfModifiedSince));
    }
  }
  if (Modified) {
    TEvEditBufferLife Args(*this);
    EvEditBufferFileChanged().Send(Args);
  }
}

void TEditBuffer::SourceModified() {
  StampFileAge();
  if (FModule) FModule->SourceModified(*this);
  FSourceNotifiers.Notify([](IEditSourceNotifier& N) { N.Modified(); });
  TEvEditBufferLife Args(*this);
  EvEditBufferFileChanged().Send(Args);
}

// -- Editability ------------------------------------------------------------------------------

bool TEditBuffer::GetReadOnly() const {
  TEdModesLock G;
  return FEkView.Editor->LockRefCount > 0;
}

void TEditBuffer::SetReadOnly(bool ReadOnly) {
  TEdModesLock G;
  FEkView.Editor->LockRefCount = ReadOnly ? 1 : 0;
}

bool TEditBuffer::QueryIsEditable() {
  TEvQueryEditEvent Args(*this);
  FEvQueryEditEvent.Send(Args);
  if (!Args.Allowed) return false;
  return !FModule || FModule->QueryEditable(*this);
}

bool TEditBuffer::GetSourceEditable() {
  const TFileInfo Info = FileSystem().Stat(FFileName);
  FSourceEditable = QueryIsEditable() && !(Info.Exists && Info.ReadOnly);
  FFileReadOnly = !FSourceEditable;
  if (!FSourceEditable) SetReadOnly(true);
  return FSourceEditable;
}

void TEditBuffer::ClearUndoBuffer() { nxs::ClearUndoBuffer(&FEkView); }

// The readers and writers are made in editstream.cpp, the views in editview.cpp and the source
// in editsource.cpp: each sits on the buffer, and the buffer knows none of them.

// -- Views ------------------------------------------------------------------------------------

void TEditBuffer::InsertView(IEditBufferView* View) {
  if (std::find(FViewList.begin(), FViewList.end(), View) == FViewList.end()) FViewList.push_back(View);
}

void TEditBuffer::RemoveView(IEditBufferView* View) { std::erase(FViewList, View); }

TEditView* TEditBuffer::GetView(int Index) const {
  if (Index < 0 || static_cast<size_t>(Index) >= FViewList.size()) return nullptr;
  return &FViewList[static_cast<size_t>(Index)]->EditView();
}

void TEditBuffer::UpdateViews() {
  for (IEditBufferView* V : FViewList) FixEd(V->ViewKernel());
}

void TEditBuffer::RefreshViews() {
  for (IEditBufferView* V : FViewList) {
    TEkScript S;
    S.Add(ekPaintScreen);
    S.End();
    EvalScript(V->ViewKernel(), S);
  }
}

void TEditBuffer::ShowLineCol(int32_t Line, int32_t Col, TShowModes Modes) {
  if (Modes & smFrozenLine) {
    for (IEditBufferView* V : FViewList) GotoFrozenLine(V->ViewKernel(), Line);
    return;
  }
  for (IEditBufferView* V : FViewList) GotoLineCol(V->ViewKernel(), Line, Col);
  if (Modes & smError) SetErrorLine(Line);
  if (Modes & smExecutionPoint) SetCPULine(Line);
}

void TEditBuffer::ShowText(int32_t Line, int32_t Col, int32_t Length, TShowModes Modes) {
  ShowLineCol(Line, Col, Modes);
  if (FViewList.empty() || Length <= 0) return;
  PEkView V = FViewList.front()->ViewKernel();
  const TCharPos Start = ConvertPos(V, TEdPos{Col, Line});
  SetMarkedRange(V, false, true, Start, TCharPos{static_cast<int32_t>(Start.Index + Length), Line});
}

// -- Markers ----------------------------------------------------------------------------------

void TEditBuffer::SetMarkerLine(TEdTracker& Tracker, uint32_t Flag, int32_t Line, bool On) {
  const int I = [&] {
    for (int J = 0; J < Tracker.Count(); ++J)
      if (Tracker.InUse(J) && Tracker.GetLineNum(J) == Line) return J;
    return -1;
  }();
  if (On && I < 0) Tracker.Add(Line, 0, 0);
  if (!On && I >= 0) Tracker.Delete(I);
  if (Line < 1 || Line > TotalLinesInBuffer(&FEkView)) return;
  if (On) {
    SetLineFlag(&FEkView, Line, Flag);
  } else {
    ClearLineFlag(&FEkView, Line, Flag);
  }
}

void TEditBuffer::SetErrorLine(int32_t Line) {
  ClearErrorLine();
  SetMarkerLine(*FErrorLine, lfErrorLine, Line, true);
}

void TEditBuffer::ClearErrorLine() {
  for (int I = 0; I < FErrorLine->Count(); ++I)
    if (FErrorLine->InUse(I)) ClearLineFlag(&FEkView, FErrorLine->GetLineNum(I), lfErrorLine);
  FErrorLine->Clear();
}

int32_t TEditBuffer::ErrorLine() const {
  for (int I = 0; I < FErrorLine->Count(); ++I)
    if (FErrorLine->InUse(I)) return FErrorLine->GetLineNum(I);
  return 0;
}

void TEditBuffer::SetCPULine(int32_t Line) {
  ClearCPULine();
  SetMarkerLine(*FCPULines, lfExecutionPoint, Line, true);
}

void TEditBuffer::ClearCPULine() {
  for (int I = 0; I < FCPULines->Count(); ++I)
    if (FCPULines->InUse(I)) ClearLineFlag(&FEkView, FCPULines->GetLineNum(I), lfExecutionPoint);
  FCPULines->Clear();
}

std::vector<int32_t> TEditBuffer::CPULines() const {
  std::vector<int32_t> Lines;
  for (int I = 0; I < FCPULines->Count(); ++I)
    if (FCPULines->InUse(I)) Lines.push_back(FCPULines->GetLineNum(I));
  return Lines;
}

void TEditBuffer::ToggleBreakpoint(int32_t Line) {
  const std::vector<int32_t> Marks = BreakMarks();
  const bool On = std::find(Marks.begin(), Marks.end(), Line) == Marks.end();
  SetMarkerLine(*FBreakListTable, lfBreakpoint, Line, On);
}

void TEditBuffer::SetBreakMarks(const std::vector<int32_t>& Lines) {
  for (int32_t L : BreakMarks()) SetMarkerLine(*FBreakListTable, lfBreakpoint, L, false);
  FBreakListTable->Clear();
  for (int32_t L : Lines) SetMarkerLine(*FBreakListTable, lfBreakpoint, L, true);
}

std::vector<int32_t> TEditBuffer::BreakMarks() const {
  std::vector<int32_t> Lines;
  for (int I = 0; I < FBreakListTable->Count(); ++I)
    if (FBreakListTable->InUse(I)) Lines.push_back(FBreakListTable->GetLineNum(I));
  std::sort(Lines.begin(), Lines.end());
  return Lines;
}

void TEditBuffer::SetBreakpointables(const std::vector<int32_t>& Lines) {
  FBreakpointables = Lines;
  std::sort(FBreakpointables.begin(), FBreakpointables.end());
}

bool TEditBuffer::IsBreakpointable(int32_t Line) const {
  return std::binary_search(FBreakpointables.begin(), FBreakpointables.end(), Line);
}

// -- Misc -------------------------------------------------------------------------------------

TEditorCommandState TEditBuffer::GetEditorState() {
  TEditorCommandState S;
  {
    TEdModesLock G;
    S.UndoAvailable = FEkView.Editor->UndoAvailable != 0;
    S.RedoAvailable = FEkView.Editor->RedoAvailable != 0;
  }
  S.ValidBlockMarked = BlockIsMarked(&FEkView);
  S.ClipboardDataValid = !ClipboardText().empty();
  return S;
}

void TEditBuffer::FreezeBuffer(bool Freeze) {
  nxs::FreezeBuffer(&FEkView, Freeze);
  FFrozenInvalid = false;
}

void TEditBuffer::SetSyntaxLang(uint8_t Lang) {
  FSyntaxLang = Lang;
  SetSyntaxHilighter(&FEkView, Lang);
}

void TEditBuffer::AddChildBuffer(const std::shared_ptr<TEditBuffer>& Child) {
  if (!Child || std::find(FChildren.begin(), FChildren.end(), Child) != FChildren.end()) return;
  Child->FOwner = this;
  FChildren.push_back(Child);
}

void TEditBuffer::RemoveChildBuffer(TEditBuffer* Child) {
  std::erase_if(FChildren, [Child](const std::shared_ptr<TEditBuffer>& C) {
    if (C.get() != Child) return false;
    C->FOwner = nullptr;
    return true;
  });
}

int TEditBuffer::LineCount() { return TotalLinesInBuffer(&FEkView); }

std::string TEditBuffer::GetLine(int Index) {
  if (Index < 0 || Index >= LineCount()) throw EEditorError(res::SEditorLineIndexOutOfBounds);
  return GetLineText(&FEkView, Index + 1);
}

}  // namespace nxs
