// Where the lines of an edited text stand in the text it was edited from: a line diff of the
// two, so that positions taken in a buffer with unsaved changes can be kept for the file on
// disk (the cursor, folds and bookmarks of a file closed without saving).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace nxs {

class TLineMap {
 public:
  // Lines end at "\r\n", "\r" or "\n", as the editor splits them. Texts whose differences
  // are too many to match line by line in reasonable time keep their common beginning and end
  // matched and count everything between as changed.
  TLineMap(std::string_view Edited, std::string_view Original);

  // The line of Original that line Line of Edited is (both from 1); 0 when the line was typed
  // or changed, or lies outside the edited text.
  int32_t OriginalLine(int32_t Line) const;
  // Where line Line of Edited stands in Original: its own line when it is unchanged; else, in
  // the original lines that the change holding it replaced, the one at the same place (the
  // last where the change is longer), or the line after the change where it replaced none.
  int32_t NearestOriginalLine(int32_t Line) const;

 private:
  std::vector<int32_t> FMap;  // per edited line from 0: its original line from 1, or 0
  int32_t FOriginalLines = 0;
};

}  // namespace nxs
