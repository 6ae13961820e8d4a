// The record of a compile: what it made, from what, and the time of each of those files when
// it ended, kept beside the intermediate files as a build tool keeps its log. A make finds a
// project up to date by comparing those times, without starting a tool; any file whose time
// differs (an edited source or header, a compiler put in place, an object deleted) sends the
// make to the tool, which decides what to do again.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace nxs::compilers {

// One output and the files it was made from.
struct TMadeFrom {
  std::string Output;
  std::vector<std::string> Inputs;
};

class TBuildRecord {
 public:
  explicit TBuildRecord(std::string FileName) : FFileName(std::move(FileName)) {}

  // True when the record is whole and every file in it still has the time it recorded. A
  // missing, unreadable or malformed record is never up to date.
  bool UpToDate() const;
  // True when the task started just before the one asking (no other task between them) found
  // this record up to date: the compile and the link phase of one make, which would find the
  // same, need not ask the disk twice.
  bool JustFoundUpToDate() const;
  // The files of the record that have the time it recorded but are another file now: one
  // renamed over the recorded one, or written with its old time put back. A tool that goes by
  // times alone would take what was made from them for up to date.
  std::set<std::string> ReplacedFiles() const;
  // Before the tool runs: a compile that does not end well leaves no record.
  void Forget() const;
  // After the tool made everything: records each output and input, and Extra (files the
  // compile depends on as a whole, the ninja file). Nothing is recorded (what was is
  // forgotten), and false returned, when a file is missing or an input is newer than what was
  // made from it (it changed while the tool ran, after the tool read it): the tool must look
  // again next time.
  bool Write(const std::vector<TMadeFrom>& Made, const std::vector<std::string>& Extra) const;

  const std::string& FileName() const { return FFileName; }

 private:
  bool Check() const;
  std::string FFileName;
};

}  // namespace nxs::compilers
