#include "modules/linemap.h"

#include <algorithm>
#include <functional>

namespace nxs {

namespace {

// Beyond these the middle of the texts counts as changed: an edit of a thousand lines, or a
// search that would take more than a moment, is not worth matching line by line.
constexpr int MaxEdits = 1000;
constexpr int64_t MaxSteps = 20'000'000;

struct TLines {
  std::vector<std::string_view> Text;
  std::vector<size_t> Hash;

  explicit TLines(std::string_view S) {
    size_t Start = 0;
    for (size_t I = 0; I < S.size(); ++I) {
      if (S[I] != '\r' && S[I] != '\n') continue;
      Text.push_back(S.substr(Start, I - Start));
      if (S[I] == '\r' && I + 1 < S.size() && S[I + 1] == '\n') ++I;
      Start = I + 1;
    }
    Text.push_back(S.substr(Start));
    Hash.reserve(Text.size());
    for (std::string_view L : Text) Hash.push_back(std::hash<std::string_view>{}(L));
  }
  size_t Size() const { return Text.size(); }
};

bool SameLine(const TLines& A, size_t I, const TLines& B, size_t J) {
  return A.Hash[I] == B.Hash[J] && A.Text[I] == B.Text[J];
}

// The shortest edit script between A[From, From + N) and B[From, From + M) by the greedy
// algorithm of the O(ND) line diff, marking matched lines in Map; false (Map untouched) when
// it would exceed the limits.
bool MatchMiddle(const TLines& A, const TLines& B, size_t From, int64_t N, int64_t M, std::vector<int32_t>& Map) {
  const auto Same = [&](int64_t X, int64_t Y) {
    return SameLine(A, From + static_cast<size_t>(X), B, From + static_cast<size_t>(Y));
  };
  const int64_t Max = std::min<int64_t>(N + M, MaxEdits);
  // V[k] for the diagonals k = -Max-1 .. Max+1; Trace[d] keeps the diagonals -d-1 .. d+1 of
  // V as they were before step d, which is all the way back needs.
  std::vector<int64_t> V(static_cast<size_t>(2 * Max + 3), 0);
  const auto At = [&](int64_t K) -> int64_t& { return V[static_cast<size_t>(K + Max + 1)]; };
  std::vector<std::vector<int64_t>> Trace;
  int64_t Steps = 0;
  int64_t D = 0;
  for (;; ++D) {
    if (D > Max) return false;
    Trace.emplace_back(V.begin() + (Max - D), V.begin() + (Max + D + 3));
    bool Done = false;
    for (int64_t K = -D; K <= D && !Done; K += 2) {
      int64_t X = (K == -D || (K != D && At(K - 1) < At(K + 1))) ? At(K + 1) : At(K - 1) + 1;
      int64_t Y = X - K;
      while (X < N && Y < M && Same(X, Y)) ++X, ++Y, ++Steps;
      At(K) = X;
      Done = X >= N && Y >= M;
    }
    Steps += 2 * D + 1;
    if (Done) break;
    if (Steps > MaxSteps) return false;
  }
  int64_t X = N, Y = M;
  for (; D > 0; --D) {
    const std::vector<int64_t>& Before = Trace[static_cast<size_t>(D)];
    const auto Was = [&](int64_t K) { return Before[static_cast<size_t>(K + D + 1)]; };
    const int64_t K = X - Y;
    const int64_t PrevK = (K == -D || (K != D && Was(K - 1) < Was(K + 1))) ? K + 1 : K - 1;
    const int64_t PrevX = Was(PrevK), PrevY = PrevX - PrevK;
    while (X > PrevX && Y > PrevY) {
      --X, --Y;
      Map[From + static_cast<size_t>(X)] = static_cast<int32_t>(From + static_cast<size_t>(Y) + 1);
    }
    X = PrevX;
    Y = PrevY;
  }
  while (X > 0 && Y > 0) {
    --X, --Y;
    Map[From + static_cast<size_t>(X)] = static_cast<int32_t>(From + static_cast<size_t>(Y) + 1);
  }
  return true;
}

}  // namespace

TLineMap::TLineMap(std::string_view Edited, std::string_view Original) {
  const TLines A(Edited), B(Original);
  FOriginalLines = static_cast<int32_t>(B.Size());
  FMap.assign(A.Size(), 0);
  size_t Head = 0;
  while (Head < A.Size() && Head < B.Size() && SameLine(A, Head, B, Head)) {
    FMap[Head] = static_cast<int32_t>(Head + 1);
    ++Head;
  }
  size_t Tail = 0;
  while (Tail < A.Size() - Head && Tail < B.Size() - Head &&
         SameLine(A, A.Size() - 1 - Tail, B, B.Size() - 1 - Tail)) {
    FMap[A.Size() - 1 - Tail] = static_cast<int32_t>(B.Size() - Tail);
    ++Tail;
  }
  const int64_t N = static_cast<int64_t>(A.Size() - Head - Tail), M = static_cast<int64_t>(B.Size() - Head - Tail);
  if (N > 0 && M > 0) MatchMiddle(A, B, Head, N, M, FMap);
}

int32_t TLineMap::OriginalLine(int32_t Line) const {
  if (Line < 1 || static_cast<size_t>(Line) > FMap.size()) return 0;
  return FMap[static_cast<size_t>(Line - 1)];
}

int32_t TLineMap::NearestOriginalLine(int32_t Line) const {
  if (const int32_t Own = OriginalLine(Line)) return Own;
  // The change holding the line lies between the unchanged lines around it; its original
  // lines lie between theirs.
  const size_t At = std::min(static_cast<size_t>(std::max(Line, 1) - 1), FMap.size());
  size_t Before = At;
  while (Before > 0 && FMap[Before - 1] == 0) --Before;
  size_t After = At;
  while (After < FMap.size() && FMap[After] == 0) ++After;
  const int32_t First = Before > 0 ? FMap[Before - 1] + 1 : 1;
  const int32_t End = After < FMap.size() ? FMap[After] : FOriginalLines + 1;
  const int32_t Offset = static_cast<int32_t>(At - Before);
  const int32_t Place = End > First ? First + std::min(Offset, End - First - 1) : First;
  return std::clamp(Place, 1, std::max(FOriginalLines, 1));
}

}  // namespace nxs
