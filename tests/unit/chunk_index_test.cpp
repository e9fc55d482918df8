#include "coverage/chunk_index.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A chunk's text, with room after it as a reader's buffer has: texts are
// read 64 bytes at a time.
class Text {
 public:
  explicit Text(const std::string &text)
      : bytes_(text + std::string(ChunkIndex::paddingBytes, '\0')), length_(text.size()) {}
  std::string_view view() const { return {bytes_.data(), length_}; }

 private:
  std::string bytes_;
  std::size_t length_;
};

ChunkEffect effectWithPiece(PieceId piece) { return {1, 1, piece, false, false, 0, 0, noKeyPair}; }

}  // namespace

TEST(ChunkIndex, OnlyTheKeysAChunkUsesTellItsEntriesApart) {
  ChunkIndex index;
  // A DC line and its branch lines: the FT key counts, the DC key not.
  const Text dc("DC 1\nTB 2\n");
  ASSERT_NE(index.insert(dc.view(), 7, 3, effectWithPiece(1), nullptr), nullptr);
  EXPECT_EQ(ChunkIndex::effect(index.find(dc.view(), 7, 9, nullptr)).piece, 1u);
  EXPECT_EQ(index.find(dc.view(), 8, 3, nullptr), nullptr);

  // Branch lines alone: both keys count.
  const Text branches("TB 2\nTL 3\n");
  index.insert(branches.view(), 7, 3, effectWithPiece(2), nullptr);
  EXPECT_NE(index.find(branches.view(), 7, 3, nullptr), nullptr);
  EXPECT_EQ(index.find(branches.view(), 7, 4, nullptr), nullptr);
  EXPECT_EQ(index.find(branches.view(), 6, 3, nullptr), nullptr);

  // An FT line: no key counts if a DC line follows it, the DC key if a
  // branch line does.
  const Text ft("FT 5\n");
  index.insert(ft.view(), 1, 2, effectWithPiece(noPiece), nullptr);
  EXPECT_NE(index.find(ft.view(), 8, 9, nullptr), nullptr);
  const Text ftBranch("FT 5\nTB 1\n");
  index.insert(ftBranch.view(), 1, 2, effectWithPiece(3), nullptr);
  EXPECT_NE(index.find(ftBranch.view(), 8, 2, nullptr), nullptr);
  EXPECT_EQ(index.find(ftBranch.view(), 1, 3, nullptr), nullptr);
}

TEST(ChunkIndex, APredictedChunkMustOpenTheBytesAndTakeAllTheirBranchLines) {
  ChunkIndex index;
  const Text first("DC 1\nTB 1\n");
  const ChunkIndex::Entry *a = index.insert(first.view(), 0, 0, effectWithPiece(1), nullptr);
  const ChunkIndex::Entry *b =
      index.insert(Text("DC 2\nTB 2\n").view(), 0, 0, effectWithPiece(2), a);

  // b followed a: it is tried without hashing, on the bytes as they come.
  const Text more("DC 2\nTB 2\nNT next\n");
  EXPECT_EQ(index.findPredicted(more.view(), 0, 0, {}, a), b);
  // Under other keys, or when a branch line of the same chunk follows, it
  // is not the chunk there.
  EXPECT_EQ(index.findPredicted(more.view(), 4, 0, {}, a), nullptr);
  EXPECT_EQ(index.findPredicted(Text("DC 2\nTB 2\nTB 3\n").view(), 0, 0, {}, a), nullptr);
  // A guess is tried as well, whatever came before.
  const ChunkIndex::Entry *const guesses[] = {a};
  EXPECT_EQ(index.findPredicted(first.view(), 0, 0, guesses, nullptr), a);
}

TEST(ChunkIndex, StopsKeepingTextThatIsNeverFoundAgain) {
  ChunkIndex index;
  const Text text("DC 1\n" + std::string(4000, 'T') + "\n");
  int kept = 0;
  // Under another FT key each time: every chunk is new.
  for (std::uint32_t ftKey = 0; ftKey < 10000; ++ftKey)
    if (index.insert(text.view(), ftKey, 0, effectWithPiece(1), nullptr)) ++kept;
  // About 8 MB is kept, then no more while none is found again.
  EXPECT_GT(kept, 1500);
  EXPECT_LT(kept, 2500);
}
