#include "coverage/chunk_index.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Texts are read 64 bytes at a time: room after them, as a reader's buffer
// has.
std::string padded(const std::string &text) {
  return text + std::string(ChunkIndex::paddingBytes, '\0');
}

ChunkEffect effectWithPiece(PieceId piece) { return {1, 1, piece, false, false, 0, 0}; }

}  // namespace

TEST(ChunkIndex, OnlyTheKeysAChunkUsesTellItsEntriesApart) {
  ChunkIndex index;
  // A DC line and its branch lines: the FT key counts, the DC key not.
  const std::string dcChunk = padded("DC 1\nTB 2\n");
  const std::string_view dcText(dcChunk.data(), 10);
  ASSERT_NE(index.insert(dcText, 7, 3, effectWithPiece(1), nullptr), nullptr);
  EXPECT_EQ(ChunkIndex::effect(index.find(dcText, 7, 9, nullptr)).piece, 1u);
  EXPECT_EQ(index.find(dcText, 8, 3, nullptr), nullptr);

  // Branch lines alone: both keys count.
  const std::string branchChunk = padded("TB 2\nTL 3\n");
  const std::string_view branchText(branchChunk.data(), 10);
  index.insert(branchText, 7, 3, effectWithPiece(2), nullptr);
  EXPECT_NE(index.find(branchText, 7, 3, nullptr), nullptr);
  EXPECT_EQ(index.find(branchText, 7, 4, nullptr), nullptr);
  EXPECT_EQ(index.find(branchText, 6, 3, nullptr), nullptr);

  // An FT line: no key counts if a DC line follows it, the DC key if a
  // branch line does.
  const std::string ftChunk = padded("FT 5\n");
  const std::string_view ftText(ftChunk.data(), 5);
  index.insert(ftText, 1, 2, effectWithPiece(noPiece), nullptr);
  EXPECT_NE(index.find(ftText, 8, 9, nullptr), nullptr);
  const std::string ftBranchChunk = padded("FT 5\nTB 1\n");
  const std::string_view ftBranchText(ftBranchChunk.data(), 10);
  index.insert(ftBranchText, 1, 2, effectWithPiece(3), nullptr);
  EXPECT_NE(index.find(ftBranchText, 8, 2, nullptr), nullptr);
  EXPECT_EQ(index.find(ftBranchText, 1, 3, nullptr), nullptr);
}

TEST(ChunkIndex, APredictedChunkMustOpenTheBytesAndTakeAllTheirBranchLines) {
  ChunkIndex index;
  const std::string first = padded("DC 1\nTB 1\n");
  const std::string second = padded("DC 2\nTB 2\n");
  const ChunkIndex::Entry *a = index.insert({first.data(), 10}, 0, 0, effectWithPiece(1), nullptr);
  const ChunkIndex::Entry *b = index.insert({second.data(), 10}, 0, 0, effectWithPiece(2), a);

  // b followed a: it is tried without hashing, on the bytes as they come.
  const std::string more = padded("DC 2\nTB 2\nNT next\n");
  EXPECT_EQ(index.findPredicted({more.data(), 18}, 0, 0, {}, a), b);
  // Under other keys, or when a branch line of the same chunk follows, it
  // is not the chunk there.
  EXPECT_EQ(index.findPredicted({more.data(), 18}, 4, 0, {}, a), nullptr);
  const std::string longer = padded("DC 2\nTB 2\nTB 3\n");
  EXPECT_EQ(index.findPredicted({longer.data(), 15}, 0, 0, {}, a), nullptr);
  // A guess is tried as well, whatever came before.
  const ChunkIndex::Entry *const guesses[] = {a};
  EXPECT_EQ(index.findPredicted({first.data(), 10}, 0, 0, guesses, nullptr), a);
}

TEST(ChunkIndex, StopsKeepingTextThatIsNeverFoundAgain) {
  ChunkIndex index;
  std::string text = padded("DC 1\n" + std::string(4000, 'T') + "\n");
  const std::size_t length = text.size() - ChunkIndex::paddingBytes;
  int kept = 0;
  for (int i = 0; i < 10000; ++i) {
    text[3] = static_cast<char>('0' + i % 10);
    text[4 + i / 10 % 1000] = 'X';  // every text differs
    if (index.insert({text.data(), length}, static_cast<std::uint32_t>(i), 0, effectWithPiece(1),
                     nullptr))
      ++kept;
  }
  // About 16 MB of text is kept, then no more while none is found again.
  EXPECT_GT(kept, 3000);
  EXPECT_LT(kept, 5000);
}
