// The directory listing answer is untrusted: every bound is checked before
// anything is allocated or copied.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "listing_answer.h"
#include "storage/directory_tree_parser.h"
#include "storage/large_reply_buffer.h"

namespace {

using vkt::DirectoryListing;
using vkt::ParseDirectoryListing;
using Outcome = DirectoryListing::Outcome;

// A listing answer that parses itself.
struct Answer : vkttest::ListingAnswer {
  Answer& Word(int32_t w) {
    ListingAnswer::Word(w);
    return *this;
  }
  Answer& Text(const std::string& s, bool terminate = true) {
    ListingAnswer::Text(s, terminate);
    return *this;
  }
  DirectoryListing Parse() const { return ParseDirectoryListing(bytes.data(), bytes.size()); }
};

TEST(DirectoryListing, EntriesOfDifferentNameLengthsArriveAsConsecutiveRecords) {
  Answer a;
  a.Word(1).Text("/20261209").Word(3).Word(1).Text("a.jpg").Word(2).Text("").Word(3).Text(std::string(255, 'z'));
  DirectoryListing l = a.Parse();
  ASSERT_EQ(l.outcome, Outcome::kTree);
  EXPECT_STREQ(l.path.data(), "/20261209");
  EXPECT_EQ(l.pathLength, 9u);
  ASSERT_EQ(l.count, 3);
  const DirectoryEntry* e = l.entries.get();
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(&e[1]) - reinterpret_cast<const uint8_t*>(&e[0]), 260);
  EXPECT_EQ(e[0].value, 1);
  EXPECT_STREQ(e[0].name, "a.jpg");
  EXPECT_EQ(e[1].value, 2);
  EXPECT_STREQ(e[1].name, "");
  EXPECT_EQ(e[2].value, 3);
  EXPECT_EQ(std::string(e[2].name), std::string(255, 'z'));
  // Nothing but the name and zeros: no bytes of other answers can show.
  for (size_t i = 6; i < sizeof e[0].name; ++i) ASSERT_EQ(e[0].name[i], 0) << i;
}

TEST(DirectoryListing, NoTreeAndEmptyTree) {
  EXPECT_EQ(ParseDirectoryListing(nullptr, 0).outcome, Outcome::kNoTree);
  EXPECT_EQ(Answer().Word(0).Text("/x").Word(1).Parse().outcome, Outcome::kNoTree);
  EXPECT_EQ(Answer().Word(-5).Parse().outcome, Outcome::kNoTree);
  // Trailing bytes after the last entry are ignored.
  DirectoryListing empty = Answer().Word(7).Text("/").Word(0).Text("junk").Parse();
  ASSERT_EQ(empty.outcome, Outcome::kTree);
  EXPECT_EQ(empty.count, 0);
  EXPECT_NE(empty.entries.get(), nullptr);  // an empty array, not "no array"
}

TEST(DirectoryListing, TextsMustEndInsideTheAnswerAndTheirField) {
  EXPECT_EQ(Answer().Word(1).Text(std::string(255, 'p')).Word(0).Parse().outcome, Outcome::kTree);
  // 256 characters leave no room for the terminator in a 256-byte field.
  EXPECT_EQ(Answer().Word(1).Text(std::string(256, 'p')).Word(0).Parse().outcome, Outcome::kMalformed);
  EXPECT_EQ(Answer().Word(1).Text("/cut", false).Parse().outcome, Outcome::kMalformed);
  EXPECT_EQ(Answer().Word(1).Text("/").Word(1).Word(9).Text(std::string(256, 'n')).Parse().outcome,
            Outcome::kMalformed);
  EXPECT_EQ(Answer().Word(1).Text("/").Word(1).Word(9).Text("cut", false).Parse().outcome, Outcome::kMalformed);
}

TEST(DirectoryListing, CountsAndWordsTheAnswerCannotHoldAreRefused) {
  EXPECT_EQ(Answer().Text("ab", false).Parse().outcome, Outcome::kMalformed);           // half a leading word
  EXPECT_EQ(Answer().Word(1).Text("/").Text("ab", false).Parse().outcome, Outcome::kMalformed);  // half a count
  EXPECT_EQ(Answer().Word(1).Text("/").Word(-1).Parse().outcome, Outcome::kMalformed);
  EXPECT_EQ(Answer().Word(1).Text("/").Word(0x7fffffff).Word(1).Text("a").Parse().outcome, Outcome::kMalformed);
  // Two entries announced, one sent; then one entry whose word is cut off.
  EXPECT_EQ(Answer().Word(1).Text("/").Word(2).Word(1).Text("abcdefghij").Parse().outcome, Outcome::kMalformed);
  Answer cut;
  cut.Word(1).Text("/").Word(1).bytes.push_back(1);
  EXPECT_EQ(cut.Parse().outcome, Outcome::kMalformed);
}

TEST(DirectoryListing, ManyEntriesParseExactly) {
  Answer a;
  a.Word(1).Text("/big").Word(20000);
  for (int i = 0; i < 20000; ++i) a.Word(i).Text(std::to_string(i) + ".jpg");
  DirectoryListing l = a.Parse();
  ASSERT_EQ(l.outcome, Outcome::kTree);
  ASSERT_EQ(l.count, 20000);
  EXPECT_EQ(l.entries[19999].value, 19999);
  EXPECT_STREQ(l.entries[19999].name, "19999.jpg");
}

TEST(LargeReplyBuffer, MappedOnFirstUseAndClearedPastWhatItKeeps) {
  vkt::LargeReplyBuffer buffer;
  EXPECT_FALSE(buffer.Mapped());
  uint8_t* p = buffer.Acquire();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(buffer.Acquire(), p);  // one buffer, reused
  const size_t n = vkt::LargeReplyBuffer::kCapacity;
  EXPECT_EQ(p[0], 0);
  EXPECT_EQ(p[n - 1], 0);

  buffer.MayHaveWritten(n);
  std::memset(p, 0x5a, n);
  buffer.Keep(10001);  // a picture of 10001 bytes: everything after it is zero again
  EXPECT_EQ(p[10000], 0x5a);
  for (size_t i : {size_t{10001}, size_t{12287}, size_t{12288}, n / 2, n - 1}) ASSERT_EQ(p[i], 0) << i;

  // A smaller picture after a failed, partly received one.
  buffer.MayHaveWritten(3 * 4096 + 17);
  std::memset(p + 10001, 0x11, 3 * 4096 + 17 - 10001);
  buffer.Keep(0);
  for (size_t i = 0; i < 4 * 4096; ++i) ASSERT_EQ(p[i], 0) << i;
}

}  // namespace
