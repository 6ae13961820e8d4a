// Buffers and the files behind them, as a user meets them: line-break forms, long lines, 8-bit
// text, files changed on disk, reloads, and files that cannot be read or written.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <set>

#include "editor/buffers/edkrnl.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editsource.h"
#include "editor/buffers/editstream.h"
#include "editor/buffers/editview.h"
#include "editor/buffers/readahead.h"
#include "editor/buffers/ekinit.h"
#include "edfixture.h"
#include "shared/dialogs.h"
#include "shared/exceptions.h"
#include "shared/settings.h"
#include "support/errorof.h"
#include "support/run.h"

namespace nxs {
namespace {

using test::Difference;
namespace fs = std::filesystem;

class BufferFiles : public test::EditorFiles {};

// The disk, except that the named files refuse reading or are reported read-only.
class TRefusingFileSystem : public TDiskFileSystem {
 public:
  std::set<std::string> Unreadable, ReadOnly;
  std::string ReadFile(const std::string& Name) override {
    if (Unreadable.count(Name)) throw EInOutError("Cannot read file \"" + Name + "\": Permission denied");
    return TDiskFileSystem::ReadFile(Name);
  }
  // Files read into memory of the reader's go through ReadFile too.
  void ReadFileInto(const std::string& Name, IReadTarget& Target) override { IFileSystem::ReadFileInto(Name, Target); }
  TFileInfo Stat(const std::string& Name) override {
    TFileInfo I = TDiskFileSystem::Stat(Name);
    if (ReadOnly.count(Name)) I.ReadOnly = true;
    return I;
  }
};

void TypeAt(TEditView& V, int32_t Line, int16_t Col, std::string_view Text) {
  GotoLineCol(V.EkView(), Line, Col);
  InsertString(V.EkView(), Text);
}

TEST_F(BufferFiles, EveryLineBreakFormLoadsEditsAndSavesByteForByte) {
  struct TCase {
    std::string Text;
    int Lines;
    std::string AfterTyping;  // "Z" typed at the start of the last line, then a break typed
  };
  const std::string Long(100000, 'x');
  const TCase Cases[] = {
      {"one\r\ntwo\r\n", 3, "one\r\ntwo\r\nZ\r\n"},
      {"one\rtwo\r", 3, "one\rtwo\rZ\r"},
      {"one\ntwo", 2, "one\nZ\ntwo"},
      {"", 1, "Z\n"},
      {"\r\n", 2, "\r\nZ\r\n"},
      {"a\r\nb\nc\rd", 4, "a\r\nb\nc\rZ\r\nd"},
      {Long + "\ny", 2, Long + "\nZ\ny"},
  };
  int N = 0;
  for (const TCase& C : Cases) {
    SCOPED_TRACE("case " + std::to_string(N));
    const std::string File = Write("breaks" + std::to_string(N++) + ".txt", C.Text);
    auto B = TEditBuffer::Create(File, true);
    auto V = B->OpenNewView();
    EXPECT_EQ(Difference(B->SavedText(), C.Text), "");
    EXPECT_EQ(B->LineCount(), C.Lines);
    EXPECT_FALSE(B->GetIsModified());
    TypeAt(*V, C.Lines, 1, "Z\r");
    B->SaveFile();
    EXPECT_EQ(Difference(Read(File), C.AfterTyping), "");
    EXPECT_EQ(Difference(B->EditSource().GetContent(), C.AfterTyping), "");
  }
}

TEST_F(BufferFiles, LinesReadBackWithoutTheirBreaksWhateverTheirLength) {
  const std::string Long(100000, 'q');
  auto B = TEditBuffer::Create(Write("lines.txt", "short\r\n" + std::string(300, 'm') + "\r" + Long), true);
  ASSERT_EQ(B->LineCount(), 3);
  EXPECT_EQ(B->GetLine(0), "short");
  EXPECT_EQ(B->GetLine(1), std::string(300, 'm'));  // longer than the first guess of 256
  EXPECT_EQ(B->GetLine(2).size(), Long.size());
  EXPECT_EQ(B->EditSource().GetLinesInBuffer(), 3);
  EXPECT_FALSE(B->LineTooLong());
}

TEST_F(BufferFiles, WithoutPreservedLineEndsEveryBreakTakesTheFirstForm) {
  const std::string File = Write("mixed.txt", "a\r\nb\nc\rd\n");
  auto B = TEditBuffer::Create(File, true);
  B->SetPreserveLineEnds(false);
  B->SaveFile();
  EXPECT_EQ(Read(File), "a\r\nb\r\nc\r\nd\r\n");
}

TEST_F(BufferFiles, EightBitFileKeepsEveryByteThroughEditsAndSaves) {
  // Not UTF-8: byte 0x80 alone, Latin-1 letters, 0xFF.
  const std::string Text = "caf\xE9 \x80 end\xFF\r\nnext\r\n";
  const std::string File = Write("latin.txt", Text);
  auto B = TEditBuffer::Create(File, true);
  auto V = B->OpenNewView();
  EXPECT_EQ(Difference(B->SavedText(), Text), "");
  B->SaveFile();
  EXPECT_EQ(Difference(Read(File), Text), "");
  TypeAt(*V, 2, 1, "more ");
  B->SaveFile();
  EXPECT_EQ(Difference(Read(File), "caf\xE9 \x80 end\xFF\r\nmore next\r\n"), "");
  // A character typed into it is written in the file's own 8 bits.
  TypeAt(*V, 2, 1, "\xC3\xBF");
  B->SaveFile();
  EXPECT_EQ(Difference(Read(File), "caf\xE9 \x80 end\xFF\r\n\xFFmore next\r\n"), "");
  // The 8-bit text reads as characters: one character each.
  EXPECT_EQ(B->GetLine(0), "caf\xC3\xA9 \xC2\x80 end\xC3\xBF");
  // Read again from disk, it stays 8-bit.
  B->ReloadFile();
  EXPECT_EQ(Difference(B->SavedText(), Read(File)), "");
}

TEST_F(BufferFiles, TheEncodingIsJudgedOverTheWholeFile) {
  // One 8-bit byte far into a long ASCII file makes all of it 8-bit text.
  const std::string Late = std::string(10000, 'a') + "\r\n\xE9t\xE9\r\n" + std::string(300, 'b');
  const std::string LateFile = Write("late.txt", Late);
  auto B = TEditBuffer::Create(LateFile, true);
  EXPECT_EQ(B->FileFilter(), "Tarvos.FileFilter.ANSI");
  EXPECT_EQ(B->GetLine(1), "\xC3\xA9t\xC3\xA9");
  B->SaveFile();
  EXPECT_EQ(Difference(Read(LateFile), Late), "");
  // Characters of several bytes wherever they fall, after a byte-order mark: UTF-8 as it is.
  std::string Text = "\xEF\xBB\xBF";
  for (int I = 0; I < 200; ++I) Text += std::string(static_cast<size_t>(I % 37), 'x') + "\xE2\x82\xAC\xC3\xA9\r\n";
  const std::string File = Write("marked.txt", Text);
  auto U = TEditBuffer::Create(File, true);
  auto V = U->OpenNewView();
  EXPECT_EQ(U->FileFilter(), "Tarvos.FileFilter.UTF8");
  EXPECT_TRUE(U->HasByteOrderMark());
  EXPECT_EQ(U->LineCount(), 201);
  EXPECT_EQ(U->GetLine(0), "\xE2\x82\xAC\xC3\xA9");
  TypeAt(*V, 1, 1, "z");
  U->SaveFile();
  EXPECT_EQ(Difference(Read(File), Text.substr(0, 3) + "z" + Text.substr(3)), "");
}

// Answers every question with one answer and counts them.
class TOneAnswer : public TDefaultQuestions {
 public:
  explicit TOneAnswer(int Answer) : FAnswer(Answer) {}
  int MessageDlg(const std::string& Message, TMsgDlgType, unsigned, int) override {
    Asked.push_back(Message);
    return FAnswer;
  }
  std::vector<std::string> Asked;

 private:
  int FAnswer;
};

TEST_F(BufferFiles, ACharacterTheEightBitFileCannotHoldChangesItsEncodingOnlyWhenTheUserSaysSo) {
  auto B = TEditBuffer::Create((Dir / "new.txt").string(), false);
  auto V = B->OpenNewView();
  ASSERT_EQ(B->FileFilter(), "Tarvos.FileFilter.ANSI");
  InsertString(V->EkView(), "\xC3\xBF\xC3\xA9");  // "ÿé"
  B->SaveFile();
  EXPECT_EQ(Read(B->FileName()), "\xFF\xE9");
  InsertString(V->EkView(), "\xE2\x82\xAC");  // "€" has no 8-bit form here
  auto No = std::make_shared<TOneAnswer>(mrNo);
  SetQuestions(No);
  EXPECT_THROW(B->SaveFile(), EAbort);
  EXPECT_EQ(No->Asked, std::vector<std::string>{
                           "new.txt holds characters that its 8-bit encoding cannot store. Save it as UTF-8 instead?"});
  EXPECT_EQ(Read(B->FileName()), "\xFF\xE9");
  EXPECT_TRUE(B->GetIsModified());
  auto Yes = std::make_shared<TOneAnswer>(mrYes);
  SetQuestions(Yes);
  B->SaveFile();
  EXPECT_EQ(Read(B->FileName()), "\xC3\xBF\xC3\xA9\xE2\x82\xAC");
  EXPECT_FALSE(B->GetIsModified());
  B->SaveFile();  // UTF-8 from now on: no more questions
  EXPECT_EQ(Yes->Asked.size(), 1u);
  SetQuestions(nullptr);
  // A file not written yet has no encoding to keep: it is written in UTF-8 without a word.
  auto Fresh = TEditBuffer::Create((Dir / "fresh.txt").string(), false);
  auto FV = Fresh->OpenNewView();
  InsertString(FV->EkView(), "\xE2\x82\xAC");
  Fresh->SaveFile();
  EXPECT_EQ(Read(Fresh->FileName()), "\xE2\x82\xAC");
}

TEST_F(BufferFiles, UTF16FilesAreEditedAsTextAndSavedInTheirByteOrderWithTheirMark) {
  // "a€" and a character beyond the first plane (a surrogate pair), then a CR LF.
  const std::string LE = std::string("\xFF\xFE" "a\0" "\xAC\x20" "\x3D\xD8\x00\xDE" "\r\0\n\0", 14);
  const std::string BE = std::string("\xFE\xFF" "\0a" "\x20\xAC" "\xD8\x3D\xDE\x00" "\0\r\0\n", 14);
  for (const std::string& Text : {LE, BE}) {
    const bool Big = Text[0] == '\xFE';
    SCOPED_TRACE(Big ? "big-endian" : "little-endian");
    const std::string File = Write(Big ? "be.txt" : "le.txt", Text);
    auto B = TEditBuffer::Create(File, true);
    auto V = B->OpenNewView();
    EXPECT_EQ(B->GetLine(0), "a\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(B->LineCount(), 2);
    EXPECT_TRUE(B->HasByteOrderMark());
    EXPECT_EQ(Difference(B->SavedText(), Text), "");
    TypeAt(*V, 2, 1, "\xC3\xA9");  // "é" on the last line
    B->SaveFile();
    const std::string E = Big ? std::string("\0\xE9", 2) : std::string("\xE9\0", 2);
    EXPECT_EQ(Difference(Read(File), Text + E), "");
    B->ReloadFile();
    EXPECT_EQ(B->GetLine(1), "\xC3\xA9");
  }
  // A mark followed by what is no UTF-16 (an odd count of bytes, a lone surrogate) is 8-bit
  // text, kept byte for byte.
  for (const std::string& Bad : {std::string("\xFF\xFE" "abc"), std::string("\xFF\xFE" "\x3D\xD8" "AA")}) {
    const std::string File = Write("bad.txt", Bad);
    auto B = TEditBuffer::Create(File, true);
    EXPECT_EQ(B->FileFilter(), "Tarvos.FileFilter.ANSI");
    B->SaveFile();
    EXPECT_EQ(Difference(Read(File), Bad), "");
  }
}

TEST_F(BufferFiles, AnsiStreamsRoundTripAllTwoHundredFiftySixBytes) {
  std::string All;
  for (int I = 1; I < 256; ++I)
    if (I != '\r' && I != '\n') All += static_cast<char>(I);
  auto B = TEditBuffer::Create((Dir / "bytes.txt").string(), false);
  B->ReadFromStreamAnsi(All);
  EXPECT_EQ(Difference(B->WriteToStreamAnsi(), All), "");
  const std::string Utf8 = B->WriteToStreamUTF8();
  EXPECT_EQ(Utf8.size(), All.size() + 128);  // every byte from 0x80 up takes two
  EXPECT_EQ(Utf8.substr(Utf8.size() - 2), "\xC3\xBF");
  EXPECT_FALSE(B->HasByteOrderMark());
  B->ReadFromStreamUTF8("\xEF\xBB\xBFtext");
  EXPECT_TRUE(B->HasByteOrderMark());
  EXPECT_EQ(B->WriteToStreamUTF8(), "\xEF\xBB\xBFtext");
  EXPECT_EQ(B->EditSource().GetContent(), "text");
}

void SetStamp(const std::string& File, time_t Seconds, long Nanoseconds) {
  struct timespec Times[2] = {{Seconds, Nanoseconds}, {Seconds, Nanoseconds}};
  ASSERT_EQ(::utimensat(AT_FDCWD, File.c_str(), Times, 0), 0);
}

TEST_F(BufferFiles, AFileReadAheadOpensWithTheTextOfTheVersionOnDisk) {
  std::string Text = "\xEF\xBB\xBF";
  for (int I = 0; Text.size() < TFileReadAhead::WorthFrom + 1000; ++I) Text += "line " + std::to_string(I) + (I % 2 ? "\r\n" : "\n");
  const std::string File = Write("ahead.txt", Text);
  SetStamp(File, 1700000000, 100);
  {
    // Overwritten in place with the same size and time after the read: the file looks as it
    // did, so the buffer takes the text that was read (which the words below would betray).
    TFileReadAhead Ahead(File);
    Ahead.Wait();
    {
      std::FILE* F = std::fopen(File.c_str(), "r+b");
      ASSERT_NE(F, nullptr);
      std::fputs("\xEF\xBB\xBFTAKE", F);
      std::fclose(F);
    }
    SetStamp(File, 1700000000, 100);
    auto B = TEditBuffer::Create(File, true);
    EXPECT_EQ(Difference(B->SavedText(), Text), "");
    // Taken once: a reload reads the disk.
    B->ReloadFile();
    EXPECT_EQ(B->SavedText().substr(3, 4), "TAKE");
    B->SaveFile();
    EXPECT_EQ(Difference(Read(File), "\xEF\xBB\xBFTAKE" + Text.substr(7)), "") << "byte for byte, breaks and mark kept";
  }
  // Changed after the read, in its size or its time, or replaced: the buffer reads the disk.
  const std::string Longer = Text + "one more\n";
  for (int Change = 0; Change < 3; ++Change) {
    Write("ahead.txt", Text);
    SetStamp(File, 1700000000, 100);
    TFileReadAhead Ahead(File);
    Ahead.Wait();
    if (Change == 0) Write("ahead.txt", Longer);
    if (Change == 1) {
      std::FILE* F = std::fopen(File.c_str(), "r+b");
      std::fputs("\xEF\xBB\xBFTIME", F);
      std::fclose(F);
      SetStamp(File, 1700000000, 200);
    }
    if (Change == 2) {
      const std::string Other = Write("other.txt", "\xEF\xBB\xBFNODE" + Text.substr(7));
      SetStamp(Other, 1700000000, 100);
      fs::rename(Other, File);
    }
    auto B = TEditBuffer::Create(File, true);
    EXPECT_EQ(B->SavedText(), Read(File)) << "change " << Change;
  }
  // A file gone since, or never there, raises as it would have; one nobody opens is dropped.
  {
    TFileReadAhead Ahead(File);
    Ahead.Wait();
    fs::remove(File);
    EXPECT_THROW(TEditBuffer::Create(File, true), EInOutError);
  }
  { TFileReadAhead Missing((Dir / "missing.txt").string()); }
  EXPECT_FALSE(EditorKernelRunning());
}

TEST_F(BufferFiles, TheFirstPartOfAFileReadAheadIsWholeLinesAndTheFileOpensFromTheWholeRead) {
  std::string Text = "\xEF\xBB\xBF";
  for (int I = 0; Text.size() < TFileReadAhead::WorthFrom + 1000; ++I) Text += "line " + std::to_string(I) + "\r\n";
  const std::string File = Write("part.txt", Text);
  {
    TFileReadAhead Ahead(File);
    std::string Part;
    ASSERT_TRUE(ReadAheadFirstPart(File, Part));
    // Past the mark, up to the last whole line within the part.
    const size_t End = Text.rfind('\n', TFileReadAhead::FirstPartSize - 1) + 1;
    EXPECT_EQ(Part.size(), End - 3);
    EXPECT_TRUE(Part == Text.substr(3, End - 3));
    // Rewritten in place after the first part was read, the same size: the buffer has the
    // new version whole, never the first part of the old one before the rest of the new.
    std::string New = Text;
    for (size_t I = 3; I < New.size(); I += 7) New[I] = New[I] == '\n' || New[I] == '\r' ? New[I] : 'X';
    {
      std::FILE* F = std::fopen(File.c_str(), "r+b");
      ASSERT_NE(F, nullptr);
      std::fwrite(New.data(), 1, New.size(), F);
      std::fclose(F);
    }
    auto B = TEditBuffer::Create(File, true);
    EXPECT_EQ(Difference(B->SavedText(), New), "");
    // Taken: no first part any more.
    EXPECT_FALSE(ReadAheadFirstPart(File, Part));
  }
  // One line longer than the part, of characters of two and three bytes: cut before a
  // character, never inside one.
  for (const char* Char : {"\xC3\xA9", "\xE2\x82\xAC"}) {
    std::string Long;
    while (Long.size() < TFileReadAhead::WorthFrom) Long += std::string("ab") + Char;
    const std::string LongFile = Write("long.txt", Long);
    TFileReadAhead Ahead(LongFile);
    std::string Part;
    ASSERT_TRUE(ReadAheadFirstPart(LongFile, Part));
    EXPECT_GT(Part.size(), TFileReadAhead::FirstPartSize - 8);
    EXPECT_LE(Part.size(), TFileReadAhead::FirstPartSize);
    EXPECT_TRUE(Long.starts_with(Part));
    EXPECT_TRUE(Part.size() == Long.size() || (static_cast<unsigned char>(Long[Part.size()]) & 0xC0) != 0x80)
        << "cut inside a character at " << Part.size();
  }
  // Nothing to show: a file read whole at once, nor read ahead, or not UTF-8 as it lies.
  std::string Part;
  const std::string Small = Write("small.txt", "small\n");
  {
    TFileReadAhead Ahead(Small);
    EXPECT_FALSE(ReadAheadFirstPart(Small, Part));
  }
  EXPECT_FALSE(ReadAheadFirstPart(File, Part));
  std::string Wide = "\xFF\xFE";
  while (Wide.size() < TFileReadAhead::WorthFrom) Wide += std::string("a\0\n\0", 4);
  const std::string Utf16 = Write("wide.txt", Wide);
  {
    TFileReadAhead Ahead(Utf16);
    EXPECT_FALSE(ReadAheadFirstPart(Utf16, Part));
    auto B = TEditBuffer::Create(Utf16, true);
    EXPECT_EQ(B->SavedText(), Wide);
  }
  EXPECT_FALSE(EditorKernelRunning());
}

// A file another program writes in place as it is read: each read gives the next of Reads
// (the last one over again), and the stat shows nothing (written just now, the same size).
class TWrittenAsReadFileSystem : public TDiskFileSystem {
 public:
  std::vector<std::string> Reads;
  size_t Count = 0;
  int64_t TimeNs = 0;
  std::string ReadFile(const std::string&) override { return Reads[std::min(Count++, Reads.size() - 1)]; }
  void ReadFileInto(const std::string& Name, IReadTarget& Target) override { IFileSystem::ReadFileInto(Name, Target); }
  TFileInfo Stat(const std::string& Name) override {
    TFileInfo I = TDiskFileSystem::Stat(Name);
    I.ModifiedTimeNs = TimeNs;
    return I;
  }
};

TEST_F(BufferFiles, AFileWrittenAsItIsReadOpensAsOneVersionNotAMix) {
  const std::string File = Write("racing.txt", "old old\nold old\n");
  auto FS = std::make_shared<TWrittenAsReadFileSystem>();
  FS->Reads = {"new new\nold old\n", "new new\nnew old\n", "new new\nnew new\n"};
  // Just now, and a little ahead, as another machine's clock may be: however slowly the
  // reads go, the file was written about their time.
  FS->TimeNs = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch()).count() +
               10'000'000'000;
  auto B = TEditBuffer::Create(File, true, FS);
  EXPECT_EQ(B->SavedText(), "new new\nnew new\n");
  // Written long ago: read once.
  FS->Count = 0;
  FS->TimeNs = 1700000000ll * 1000000000;
  auto Old = TEditBuffer::Create(File, true, FS);
  EXPECT_EQ(Old->SavedText(), "new new\nold old\n");
  EXPECT_EQ(FS->Count, 1u);
}

TEST_F(BufferFiles, AFileRewrittenWithinTheSameSecondIsReportedChanged) {
  const std::string File = Write("stamp.txt", "first\n");
  SetStamp(File, 1700000000, 100);
  auto B = TEditBuffer::Create(File, true);
  EXPECT_FALSE(B->CheckFileDate());
  Write("stamp.txt", "second\n");
  SetStamp(File, 1700000000, 200);  // the same second
  EXPECT_TRUE(B->CheckFileDate());
  EXPECT_FALSE(B->CheckFileDate());  // reported once
  SetStamp(File, 1700000000, 200);
  EXPECT_FALSE(B->CheckFileDate());
  // The buffer's own save is no change on disk.
  B->SaveFile();
  EXPECT_FALSE(B->CheckFileDate());
  // Gone: never a change.
  fs::remove(File);
  EXPECT_FALSE(B->CheckFileDate());
}

// The disk, except that another program rewrites a file the moment it has been read.
class TRacingFileSystem : public TDiskFileSystem {
 public:
  std::string Next;  // what the other program writes next, once
  void ReadFileInto(const std::string& Name, IReadTarget& Target) override {
    TDiskFileSystem::ReadFileInto(Name, Target);
    if (Next.empty()) return;
    test::WriteText(Name, Next);
    SetStamp(Name, 1700000000, 900);
    Next.clear();
  }
};

TEST_F(BufferFiles, AChangeMadeJustAfterTheReadIsReportedAsAChange) {
  const std::string File = Write("raced.txt", "first\n");
  SetStamp(File, 1700000000, 100);
  auto B = TEditBuffer::Create(File, true);
  auto Racing = std::make_shared<TRacingFileSystem>();
  B->SetFileSystem(Racing);
  Write("raced.txt", "second\n");
  SetStamp(File, 1700000000, 200);
  Racing->Next = "third, from another program\n";
  B->ReloadFile();
  EXPECT_EQ(B->Text(), "second\n");
  // The disk holds a version the buffer never saw: the next check says so, and reloading
  // takes it.
  EXPECT_TRUE(B->CheckFileDate());
  B->ReloadFile();
  EXPECT_EQ(B->Text(), "third, from another program\n");
  EXPECT_FALSE(B->CheckFileDate());
}

TEST_F(BufferFiles, AChangeThatKeepsTheTimeIsSeenByItsSizeOrItsFile) {
  const std::string File = Write("kept.txt", "first\n");
  SetStamp(File, 1700000000, 100);
  auto B = TEditBuffer::Create(File, true);
  // Copied over with its time kept (cp -p): the size tells.
  Write("kept.txt", "second, longer\n");
  SetStamp(File, 1700000000, 100);
  EXPECT_TRUE(B->CheckFileDate());
  EXPECT_FALSE(B->CheckFileDate());
  // Another file of the same size and time renamed over it: the inode tells.
  const std::string Other = Write("other.txt", "SECOND, LONGER\n");
  SetStamp(Other, 1700000000, 100);
  fs::rename(Other, File);
  EXPECT_TRUE(B->CheckFileDate());
  EXPECT_FALSE(B->CheckFileDate());
}

TEST_F(BufferFiles, ReloadTakesTheNewTextAndKeepsEachViewWhereItCan) {
  const std::string File = Write("reload.txt", "1\n2\n3\n4\n5\n");
  auto B = TEditBuffer::Create(File, true);
  auto Top = B->OpenNewView();
  auto Low = B->OpenNewView();
  GotoLineCol(Top->EkView(), 2, 1);
  ASSERT_TRUE(Top->BookmarkRecord(3, false));
  ASSERT_TRUE(AddElisionBlock(Top->EkView(), TCharPos{0, 3}, TCharPos{0, 4}, true, "fold"));
  ASSERT_TRUE(AddElisionBlock(Top->EkView(), TCharPos{0, 5}, TCharPos{0, 6}, true, "gone"));
  GotoLineCol(Low->EkView(), 5, 1);
  InsertString(Low->EkView(), "unsaved");
  auto Reader = B->CreateReader();
  const uint32_t Before = ReloadCounter;

  Write("reload.txt", "one\ntwo\nthree\n");
  ASSERT_TRUE(B->CheckFileDate());
  B->ReloadFile();
  EXPECT_EQ(B->SavedText(), "one\ntwo\nthree\n");
  EXPECT_FALSE(B->GetIsModified());
  EXPECT_EQ(B->FileAge(), B->DiskAge());
  EXPECT_EQ(ReloadCounter, Before + 1);
  EXPECT_FALSE(B->GetEditorState().UndoAvailable);  // the old text's history is gone
  EXPECT_EQ(Top->Cursor().LineNum, 2);
  EXPECT_EQ(Top->BookmarksString(), "{3,2,0}");
  EXPECT_EQ(PrintElisions(Top->EkView()), "{{3,0},{4,0},{'fold'}}");  // the other lies past the new end
  EXPECT_LE(Low->Cursor().LineNum, 4);  // within the shorter text
  char Buf[4];
  EXPECT_THROW(Reader->GetText(0, Buf, 4), EAbort);  // made for the old text
  EXPECT_FALSE(B->CheckFileDate());
}

TEST_F(BufferFiles, UnreadableFilesRaiseAndLeaveNoBuffer) {
  fs::create_directories(Dir / "folder.txt");
  EXPECT_THROW(TEditBuffer::Create((Dir / "folder.txt").string(), true), EInOutError);
  EXPECT_THROW(TEditBuffer::Create((Dir / "missing.txt").string(), true), EInOutError);
  auto FS = std::make_shared<TRefusingFileSystem>();
  const std::string File = Write("locked.txt", "secret\n");
  FS->Unreadable.insert(File);
  EXPECT_EQ(test::ErrorOf<EInOutError>([&] { TEditBuffer::Create(File, true, FS); }),
            "Cannot read file \"" + File + "\": Permission denied");
  EXPECT_EQ(TEditBuffer::FindBuffer(File), nullptr);
  EXPECT_FALSE(EditorKernelRunning());  // nothing left holding the kernel
}

TEST_F(BufferFiles, PermissionsOnDiskAreSeenAsAnOrdinaryUserSeesThem) {
  Temp.OpenToAll();
  const std::string Locked = Write("locked.txt", "secret\n"), Fixed = Write("fixed.txt", "fixed\n");
  fs::permissions(Locked, fs::perms::none);
  fs::permissions(Fixed, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(test::RunUnprivileged([&] {
              std::string Out = test::ErrorOf<EInOutError>([&] { TEditBuffer::Create(Locked, true); }) + "|";
              auto B = TEditBuffer::Create(Fixed, true);
              auto V = B->OpenNewView();
              InsertString(V->EkView(), "typed");
              return Out + (B->GetReadOnly() ? "read-only|" : "writable|") + B->SavedText();
            }),
            "Cannot read file \"" + Locked + "\": Permission denied|read-only|fixed\n");
}

TEST_F(BufferFiles, ReadOnlyFileRefusesEveryChangeWithItsName) {
  auto FS = std::make_shared<TRefusingFileSystem>();
  const std::string File = Write("it's 100% [ro] \xC3\xBC.txt", "fixed\n");
  FS->ReadOnly.insert(File);
  auto B = TEditBuffer::Create(File, true, FS);
  auto V = B->OpenNewView();
  EXPECT_TRUE(B->GetReadOnly());
  EXPECT_TRUE(B->FileReadOnly());
  EXPECT_FALSE(B->GetSourceEditable());
  int Refusals = 0;
  EvEditBufferChangeRefused().Add(this, [&](TEvEditBufferModified& A) { Refusals += A.Buffer == B->KernelBuffer(); });
  InsertString(V->EkView(), "typed");
  EXPECT_EQ(Refusals, 1) << "the refused change is told";
  EXPECT_FALSE(Delete(V->EkView()));
  GotoLineCol(V->EkView(), 1, 1);  // no change: nothing to tell
  EvEditBufferChangeRefused().Remove(this);
  EXPECT_EQ(Refusals, 2);
  EXPECT_EQ(B->SavedText(), "fixed\n");
  EXPECT_FALSE(B->GetIsModified());
  EXPECT_EQ(test::ErrorOf<EEditorError>([&] { B->EditSource().SetContent("other"); }),
            "The edit buffer of '" + File + "' is marked read-only");
  {
    auto W = B->CreateUndoableWriter();
    W->Insert("");  // nothing to insert: no check
    EXPECT_EQ(test::ErrorOf<EEditorError>([&] { W->DeleteTo(2); }),
              "The edit buffer of '" + File + "' is marked read-only");
  }
  EXPECT_EQ(B->SavedText(), "fixed\n");
  // A reload that fails changes nothing, the lock included.
  FS->Unreadable.insert(File);
  EXPECT_THROW(B->ReloadFile(), EInOutError);
  EXPECT_TRUE(B->GetReadOnly());
  EXPECT_EQ(B->SavedText(), "fixed\n");
  // Writable again on disk: the reloaded buffer may be edited.
  FS->Unreadable.clear();
  FS->ReadOnly.clear();
  B->ReloadFile();
  EXPECT_FALSE(B->GetReadOnly());
  EXPECT_FALSE(B->FileReadOnly());
  InsertString(V->EkView(), "typed ");
  EXPECT_EQ(B->SavedText(), "typed fixed\n");
}

TEST_F(BufferFiles, AFailedSaveLeavesTheBufferModified) {
  auto B = TEditBuffer::Create((Dir / "nofolder" / "save.txt").string(), false);
  auto V = B->OpenNewView();
  InsertString(V->EkView(), "work");
  EXPECT_THROW(B->SaveFile(), EInOutError);
  EXPECT_TRUE(B->GetIsModified());
  EXPECT_EQ(B->EditSource().GetContent(), "work");
}

// The disk, except that a file written piece by piece fails at its second piece.
class TFailingSecondPiece : public TDiskFileSystem {
 public:
  class TWriter : public IFileWriter {
   public:
    explicit TWriter(std::unique_ptr<IFileWriter> Real) : FReal(std::move(Real)) {}
    void Write(std::string_view Data) override {
      if (++FPieces == 2) throw EInOutError("Cannot write file: No space left on device");
      FReal->Write(Data);
    }
    void Commit() override { FReal->Commit(); }

   private:
    std::unique_ptr<IFileWriter> FReal;
    int FPieces = 0;
  };
  std::unique_ptr<IFileWriter> CreateFileWriter(const std::string& Name) override {
    return std::make_unique<TWriter>(TDiskFileSystem::CreateFileWriter(Name));
  }
};

TEST_F(BufferFiles, ALargeFileSavesByteForByteOrNotAtAll) {
  // Several megabytes of two- and three-byte characters, so that the pieces a save writes
  // split characters and line breaks, behind a byte-order mark.
  std::string Text = "\xEF\xBB\xBF";
  for (int I = 0; Text.size() < (size_t{3} << 20) + 7; ++I)
    Text += "l\xC3\xA4ne " + std::to_string(I) + (I % 3 ? "\xE2\x82\xAC\r\n" : "\n");
  const std::string File = Write("large.txt", Text);
  {
    auto B = TEditBuffer::Create(File, true);
    auto V = B->OpenNewView();
    // An edit at each end: the text then reaches the save as a short piece after a long one.
    TypeAt(*V, 1, 1, "Z");
    TypeAt(*V, B->LineCount(), 1, "E");
    B->SaveFile();
    EXPECT_EQ(Difference(Read(File), "\xEF\xBB\xBFZ" + Text.substr(3) + "E"), "");
    EXPECT_FALSE(B->GetIsModified());
  }
  const std::string Before = Read(File);
  auto FS = std::make_shared<TFailingSecondPiece>();
  auto B = TEditBuffer::Create(File, true, FS);
  auto V = B->OpenNewView();
  TypeAt(*V, 1, 1, "Y");
  EXPECT_THROW(B->SaveFile(), EInOutError);
  EXPECT_EQ(Read(File), Before);
  EXPECT_TRUE(B->GetIsModified());
  std::set<std::string> Left;
  for (const auto& E : fs::directory_iterator(Dir)) Left.insert(E.path().filename().string());
  EXPECT_EQ(Left, std::set<std::string>{"large.txt"});  // no temporary file stays behind
}

TEST_F(BufferFiles, SavingThroughASymbolicLinkWritesTheTargetAndKeepsTheLink) {
  const std::string Target = Write("target.txt", "old\n");
  const fs::path Link = Dir / "link.txt";
  fs::create_symlink(Target, Link);
  auto B = TEditBuffer::Create(Link.string(), true);
  auto V = B->OpenNewView();
  EXPECT_EQ(B->SavedText(), "old\n");
  InsertString(V->EkView(), "new ");
  B->SaveFile();
  EXPECT_TRUE(fs::is_symlink(Link));
  EXPECT_EQ(Read(Target), "new old\n");
  EXPECT_FALSE(B->CheckFileDate());
}

TEST_F(BufferFiles, OddNamesOpenSaveAndAreFoundExactly) {
  for (const std::string Name : {"with space.txt", "-dash.txt", "\xE6\x97\xA5\xE6\x9C\xAC.pas", "a->b.pas",
                                 "noext", ".hidden", "quote\"'.txt"}) {
    SCOPED_TRACE(Name);
    const std::string File = Write(Name, "x\n");
    auto B = TEditBuffer::Create(File, true);
    std::string Text;
    ASSERT_TRUE(GetOpenBufferText(File, Text));
    EXPECT_EQ(Text, "x\n");
    auto V = B->OpenNewView();
    InsertString(V->EkView(), "y");
    B->SaveFile();
    EXPECT_EQ(Read(File), "yx\n");
    EXPECT_EQ(V->GetCaption(), Name);
  }
}

TEST_F(BufferFiles, NamesDifferingOnlyInCaseAreDifferentBuffers) {
  const std::string Lower = Write("case.txt", "lower\n"), Upper = Write("CASE.txt", "upper\n");
  auto A = TEditBuffer::Create(Lower, true);
  auto B = TEditBuffer::Create(Upper, true);
  std::string Text;
  ASSERT_TRUE(GetOpenBufferText(Upper, Text));
  EXPECT_EQ(Text, "upper\n");
  ASSERT_TRUE(GetOpenBufferText(Lower, Text));
  EXPECT_EQ(Text, "lower\n");
}

TEST_F(BufferFiles, ANewBufferTakesTheOptionsOfItsFileType) {
  const char* Group = "Editor\\Source Options\\Test Pascal";
  SettingsStore().WriteString(Group, "File Extensions", "pas;inc");
  SettingsStore().WriteString(Group, "Tab Stops", "3 7");
  SettingsStore().WriteBool(Group, "Auto Indent", false);
  SettingsStore().WriteBool(Group, "Smart Tab", true);
  SettingsStore().WriteInteger("Editor\\Options", "Undo Limit", 40);
  // A form shown as text is named "unit->pas": it takes the options of "unit.pas".
  for (const std::string Name : {"unit.pas", "unit->pas", "UNIT.PAS"}) {
    SCOPED_TRACE(Name);
    auto B = TEditBuffer::Create((Dir / Name).string(), false);
    EXPECT_EQ(B->EditSource().GetTabStops(), "3 7");
    EXPECT_FALSE(B->EditSource().GetAutoIndent());
    EXPECT_TRUE(B->EditSource().GetSmartTab());
    EXPECT_EQ(B->EditSource().GetUndoLimit(), 40);
  }
  auto Other = TEditBuffer::Create((Dir / "notes.txt").string(), false);
  EXPECT_EQ(Other->EditSource().GetTabStops(), "8");
  EXPECT_TRUE(Other->EditSource().GetAutoIndent());
  SettingsStore().EraseSection(Group);
  SettingsStore().EraseSection("Editor\\Options");
}

// A view on a long line keeps its place past the 32,767th column.
TEST_F(BufferFiles, ViewStateKeepsPlacesFarIntoALongLine) {
  auto B = TEditBuffer::Create(Write("far.txt", std::string(100000, 'f') + "\nshort\n"), true);
  auto V = B->OpenNewView();
  GotoLineCol(V->EkView(), 1, 50001);
  ASSERT_TRUE(V->BookmarkRecord(1, false));
  TViewState State;
  V->SaveViewState(State);
  EXPECT_EQ(State["CursorX"], "50001");
  EXPECT_EQ(State["Bookmarks"], "{1,1,50000}");
  auto Again = B->OpenNewView();
  Again->LoadViewState(State);
  EXPECT_EQ(Again->Cursor().Col, 50001);
}

}  // namespace
}  // namespace nxs
