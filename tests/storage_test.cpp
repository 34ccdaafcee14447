// The SD card and its stored pictures against an emulated camera: the bytes
// on the wire, the buffers lent to the caller, and hostile or broken answers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "camera_fixture.h"
#include "listing_answer.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;

constexpr size_t kFourMiB = 4u * 1024u * 1024u;

class Storage : public vkttest::AddedCameraTest {
 protected:
  // A fetch block: a directory entry naming `path`.
  static DirectoryEntry FetchName(const std::string& path) {
    DirectoryEntry e{};
    std::strncpy(e.name, path.c_str(), sizeof e.name - 1);
    return e;
  }
  // A delete block: 264 bytes, the path first.
  static std::vector<uint8_t> DeleteName(const std::string& path) {
    std::vector<uint8_t> block(264);
    std::memcpy(block.data(), path.c_str(), std::min<size_t>(path.size(), 255));
    return block;
  }
  static DirectoryTree Tree(const std::string& path) {
    DirectoryTree t{};
    std::strncpy(t.path, path.c_str(), sizeof t.path - 1);
    return t;
  }
  static std::vector<uint8_t> Bytes(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 12));
    return v;
  }
  using Answer = vkttest::ListingAnswer;
  // After a failed call: the next command has to connect again.
  bool ConnectionDropped() {
    const size_t connections = emulator.connectionCount(id);
    int progress = 0;
    if (VKT_GetFormatSDCardProgress(handle, &progress, 1000) != 0) return false;
    return emulator.connectionCount(id) == connections + 1;
  }

};

TEST_F(Storage, CardStateFormatAndProgress) {
  SDCardState state{};
  ASSERT_EQ(VKT_GetSDCardState(handle, &state, 1000), 0) << std::hex << VKT_GetLastError();
  EXPECT_EQ(state.word[0], 1);
  EXPECT_GT(state.word[1], 0);

  // A short answer: what arrived, then zeros, not the previous reply's words.
  vktemu::CommandFaults shortReply;
  shortReply.announcedLength = 5;
  emulator.setCommandFaults(id, 1200, shortReply);
  ASSERT_EQ(VKT_GetSDCardState(handle, &state, 1000), 0);
  EXPECT_EQ(static_cast<uint32_t>(state.word[0]), 0xABABABABu);
  EXPECT_EQ(state.word[1], 0xAB);
  EXPECT_EQ(state.word[2], 0);

  // A reply to another request leaves the output alone.
  vktemu::CommandFaults wrongSequence;
  wrongSequence.sequenceDelta = 1;
  emulator.setCommandFaults(id, 1200, wrongSequence);
  SDCardState untouched{{7, 8, 9}};
  EXPECT_EQ(VKT_GetSDCardState(handle, &untouched, 1000), 1);
  EXPECT_EQ(static_cast<uint32_t>(VKT_GetLastError()), 0x80000005u);
  EXPECT_EQ(untouched.word[0], 7);
  emulator.clearCommandFaults(id);

  EXPECT_EQ(VKT_GetSDCardState(handle, nullptr, 1000), 1);
  EXPECT_EQ(static_cast<uint32_t>(VKT_GetLastError()), 0x80000006u);

  emulator.setFormatDuration(id, 600ms);
  ASSERT_EQ(VKT_FormatSDCard(handle, 1000), 0);
  EXPECT_EQ(emulator.formatCount(id), 1u);
  std::vector<int> seen;
  ASSERT_TRUE(vkttest::WaitFor(
      [&] {
        int progress = -1;
        if (VKT_GetFormatSDCardProgress(handle, &progress, 1000) != 0) return false;
        seen.push_back(progress);
        return progress >= 100;
      },
      5s));
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_GE(seen[i], seen[i - 1]);
  EXPECT_TRUE(emulator.storedPictures(id).empty());
  // The progress travels in the header alone: no payload on the wire.
  auto traffic = emulator.commandTraffic(id);
  EXPECT_EQ(traffic.back().command, 1206);
  EXPECT_EQ(traffic.back().bytes.size(), 28u);
}

TEST_F(Storage, ListingSendsExactly264BytesAndLendsTheEntries) {
  emulator.clearStoredPictures(id);
  const auto a = Bytes(1000, 1), b = Bytes(70000, 2);
  emulator.addStoredPicture(id, "/20261209/080000_001.jpg", a);
  emulator.addStoredPicture(id, "/20261209/080001_002.jpg", b);
  emulator.addStoredPicture(id, "/20261210/090000_003.jpg", a);

  DirectoryTree root = Tree("/");
  root.count = 0x01020304;
  ASSERT_EQ(VKT_GetDirectoryTree(handle, &root, 1000), 0) << std::hex << VKT_GetLastError();
  const auto request = emulator.commandTraffic(id).back();
  ASSERT_EQ(request.command, 1210);
  ASSERT_EQ(request.bytes.size(), 28u + 264u);
  EXPECT_STREQ(reinterpret_cast<const char*>(request.bytes.data() + 28), "/");
  int32_t count = 0;
  std::memcpy(&count, request.bytes.data() + 28 + 256, 4);
  EXPECT_EQ(count, 0x01020304);
  EXPECT_EQ(std::vector<uint8_t>(request.bytes.end() - 4, request.bytes.end()), std::vector<uint8_t>(4, 0));

  ASSERT_EQ(root.count, 2);
  ASSERT_EQ(root.entries, camera->LentEntries());
  EXPECT_STREQ(root.entries[0].name, "20261209");
  EXPECT_STREQ(root.entries[1].name, "20261210");

  DirectoryTree day = Tree("/20261209");
  ASSERT_EQ(VKT_GetDirectoryTree(handle, &day, 1000), 0);
  // The second listing replaced the first's entries.
  EXPECT_EQ(camera->LentEntries(), day.entries);
  ASSERT_EQ(day.count, 2);
  EXPECT_STREQ(day.entries[0].name, "080000_001.jpg");
  EXPECT_EQ(day.entries[0].value, 1000);
  EXPECT_STREQ(day.entries[1].name, "080001_002.jpg");
  EXPECT_EQ(day.entries[1].value, 70000);
  EXPECT_FALSE(camera->LargeReplyMapped());  // listing needs no picture buffer
}

TEST_F(Storage, ListingAnswersAtTheEdges) {
  DirectoryTree tree = Tree("/kept");
  tree.count = 77;
  auto* marker = reinterpret_cast<DirectoryEntry*>(0x1234);
  tree.entries = marker;

  // "No tree": success, and the record exactly as it was.
  emulator.setListingOverride(id, Answer().Word(0).Text("/ignored").Word(3).bytes);
  ASSERT_EQ(VKT_GetDirectoryTree(handle, &tree, 1000), 0);
  EXPECT_STREQ(tree.path, "/kept");
  EXPECT_EQ(tree.count, 77);
  EXPECT_EQ(tree.entries, marker);

  emulator.setListingOverride(id, Answer().Word(1).Text("/empty").Word(0).bytes);
  ASSERT_EQ(VKT_GetDirectoryTree(handle, &tree, 1000), 0);
  EXPECT_STREQ(tree.path, "/empty");
  EXPECT_EQ(tree.count, 0);
  EXPECT_NE(tree.entries, nullptr);
  EXPECT_NE(tree.entries, marker);

  Answer three;
  three.Word(1).Text("/three").Word(3).Word(1).Text("a").Word(2).Text("bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb").Word(3).Text("cc");
  emulator.setListingOverride(id, three.bytes);
  ASSERT_EQ(VKT_GetDirectoryTree(handle, &tree, 1000), 0);
  ASSERT_EQ(tree.count, 3);
  EXPECT_EQ(tree.entries[0].value, 1);
  EXPECT_STREQ(tree.entries[0].name, "a");
  EXPECT_EQ(tree.entries[1].value, 2);
  EXPECT_EQ(std::string(tree.entries[1].name), std::string(40, 'b'));
  EXPECT_EQ(tree.entries[2].value, 3);
  EXPECT_STREQ(tree.entries[2].name, "cc");
}

TEST_F(Storage, HostileListingsFailWithoutTouchingTheRecordAndDropTheConnection) {
  std::vector<std::vector<uint8_t>> hostile = {
      Answer().Word(1).Text(std::string(256, 'p')).Word(0).bytes,                  // path too long for its field
      Answer().Word(1).Text("/").Word(1000).Word(1).Text("a").bytes,               // more entries than sent
      Answer().Word(1).Text("/").Word(1).Word(1).Text(std::string(300, 'n')).bytes,  // name too long
      Answer().Word(1).Text("/").Word(-2).bytes,                                   // negative count
      {1, 0, 0},                                                                   // not even a word
  };
  hostile.push_back(Answer().Word(1).bytes);
  hostile.back().insert(hostile.back().end(), {'/', 'x', 'y'});  // unterminated path
  for (size_t i = 0; i < hostile.size(); ++i) {
    SCOPED_TRACE(i);
    DirectoryTree tree = Tree("/kept");
    tree.count = 5;
    emulator.setListingOverride(id, hostile[i]);
    EXPECT_EQ(VKT_GetDirectoryTree(handle, &tree, 1000), 1);
    EXPECT_EQ(static_cast<uint32_t>(VKT_GetLastError()), 0x80000005u);
    EXPECT_STREQ(tree.path, "/kept");
    EXPECT_EQ(tree.count, 5);
    EXPECT_EQ(camera->LentEntries(), nullptr);
    EXPECT_TRUE(ConnectionDropped());
  }

  // Longer than 4 MiB: refused unread, and the next listing works.
  emulator.setListingOverride(id, std::vector<uint8_t>(kFourMiB + 1, 1));
  DirectoryTree tree = Tree("/");
  EXPECT_EQ(VKT_GetDirectoryTree(handle, &tree, 3000), 1);
  EXPECT_EQ(static_cast<uint32_t>(VKT_GetLastError()), 0x80000005u);
  EXPECT_TRUE(ConnectionDropped());
  emulator.setListingOverride(id, std::nullopt);
  EXPECT_EQ(VKT_GetDirectoryTree(handle, &tree, 1000), 0) << std::hex << VKT_GetLastError();
}

TEST_F(Storage, FetchLendsThePictureInAZeroedFourMiBBuffer) {
  emulator.clearStoredPictures(id);
  const auto big = Bytes(kFourMiB, 3), small = Bytes(5000, 4);
  emulator.addStoredPicture(id, "/d/big.jpg", big);
  emulator.addStoredPicture(id, "/d/small.jpg", small);
  emulator.addStoredPicture(id, "/d/empty.jpg", {});
  EXPECT_FALSE(camera->LargeReplyMapped());

  DirectoryEntry name = FetchName("/d/big.jpg");
  char* picture = nullptr;
  int length = -1;
  ASSERT_EQ(VKT_GetJPGPic(handle, &name, &picture, &length, 5000), 0) << std::hex << VKT_GetLastError();
  ASSERT_EQ(length, static_cast<int>(kFourMiB));
  EXPECT_EQ(std::memcmp(picture, big.data(), kFourMiB), 0);
  const auto request = emulator.commandTraffic(id).back();
  EXPECT_EQ(request.bytes.size(), 28u + 260u);
  EXPECT_EQ(std::memcmp(request.bytes.data() + 28, &name, 260), 0);

  char* first = picture;
  name = FetchName("/d/small.jpg");
  ASSERT_EQ(VKT_GetJPGPic(handle, &name, &picture, &length, 1000), 0);
  EXPECT_EQ(picture, first);  // one buffer per camera
  ASSERT_EQ(length, 5000);
  EXPECT_EQ(std::memcmp(picture, small.data(), 5000), 0);
  // Nothing of the big picture is left after the small one.
  for (size_t i : {size_t{5000}, size_t{8191}, size_t{8192}, kFourMiB / 2, kFourMiB - 1}) {
    ASSERT_EQ(picture[i], 0) << i;
  }

  name = FetchName("/d/empty.jpg");
  ASSERT_EQ(VKT_GetJPGPic(handle, &name, &picture, &length, 1000), 0);
  EXPECT_EQ(length, 0);
  ASSERT_EQ(picture, first);
  for (size_t i = 0; i < 8192; ++i) ASSERT_EQ(picture[i], 0) << i;
}

TEST_F(Storage, FetchFailuresLeaveNothingLentAndTheNextFetchWorks) {
  emulator.clearStoredPictures(id);
  const auto small = Bytes(3000, 5);
  emulator.addStoredPicture(id, "/d/huge.jpg", Bytes(kFourMiB + 1, 6));
  emulator.addStoredPicture(id, "/d/small.jpg", small);
  DirectoryEntry huge = FetchName("/d/huge.jpg"), fine = FetchName("/d/small.jpg");
  char* picture = reinterpret_cast<char*>(0x1);
  int length = 99;

  EXPECT_EQ(VKT_GetJPGPic(handle, &huge, &picture, &length, 3000), 1);
  EXPECT_EQ(static_cast<uint32_t>(VKT_GetLastError()), 0x80000005u);
  EXPECT_EQ(picture, nullptr);
  EXPECT_EQ(length, 0);
  EXPECT_TRUE(ConnectionDropped());
  ASSERT_EQ(VKT_GetJPGPic(handle, &fine, &picture, &length, 1000), 0);
  EXPECT_EQ(std::vector<uint8_t>(picture, picture + length), small);

  // Cut off in the middle of the picture: a network failure, then recovery.
  vktemu::CommandFaults cut;
  cut.closeAfterBytes = 28 + 1000;
  emulator.setCommandFaults(id, 1216, cut);
  EXPECT_EQ(VKT_GetJPGPic(handle, &fine, &picture, &length, 1000), 1);
  EXPECT_EQ(static_cast<uint32_t>(VKT_GetLastError()), 0x80000100u);
  EXPECT_EQ(picture, nullptr);

  // Too slow: a time-out within its budget.
  vktemu::CommandFaults slow;
  slow.delayMs = 2000;
  emulator.setCommandFaults(id, 1216, slow);
  auto start = vkttest::Clock::now();
  EXPECT_EQ(VKT_GetJPGPic(handle, &fine, &picture, &length, 300), 1);
  EXPECT_EQ(static_cast<uint32_t>(VKT_GetLastError()), 0x80000101u);
  EXPECT_LT(vkttest::MsSince(start), 300 + 250);

  // Refused, and an unknown picture.
  vktemu::CommandFaults busy;
  busy.status = -2;
  emulator.setCommandFaults(id, 1216, busy);
  EXPECT_EQ(VKT_GetJPGPic(handle, &fine, &picture, &length, 1000), 1);
  EXPECT_EQ(static_cast<uint32_t>(VKT_GetLastError()), 0x80000200u);
  emulator.clearCommandFaults(id);
  DirectoryEntry missing = FetchName("/d/none.jpg");
  EXPECT_EQ(VKT_GetJPGPic(handle, &missing, &picture, &length, 1000), 1);
  EXPECT_EQ(static_cast<uint32_t>(VKT_GetLastError()), 0x80000006u);

  ASSERT_EQ(VKT_GetJPGPic(handle, &fine, &picture, &length, 1000), 0);
  EXPECT_EQ(std::vector<uint8_t>(picture, picture + length), small);
  EXPECT_EQ(VKT_GetJPGPic(handle, nullptr, &picture, &length, 1000), 1);
  EXPECT_EQ(static_cast<uint32_t>(VKT_GetLastError()), 0x80000006u);
  EXPECT_EQ(picture, nullptr);
}

TEST_F(Storage, DeleteSendsItsBlockAndRemovesThePicture) {
  emulator.clearStoredPictures(id);
  emulator.addStoredPicture(id, "/d/a.jpg", Bytes(100, 7));
  emulator.addStoredPicture(id, "/d/b.jpg", Bytes(100, 8));
  const auto block = DeleteName("/d/a.jpg");
  ASSERT_EQ(VKT_DeleteJPGPic(handle, block.data(), 1000), 0) << std::hex << VKT_GetLastError();
  const auto request = emulator.commandTraffic(id).back();
  ASSERT_EQ(request.command, 1217);
  EXPECT_EQ(std::vector<uint8_t>(request.bytes.begin() + 28, request.bytes.end()), block);
  EXPECT_EQ(emulator.storedPictures(id), std::vector<std::string>{"/d/b.jpg"});

  EXPECT_EQ(VKT_DeleteJPGPic(handle, block.data(), 1000), 1);  // already gone
  EXPECT_EQ(static_cast<uint32_t>(VKT_GetLastError()), 0x80000006u);
  EXPECT_EQ(VKT_DeleteJPGPic(handle, nullptr, 1000), 1);
  EXPECT_EQ(static_cast<uint32_t>(VKT_GetLastError()), 0x80000006u);
}

TEST_F(Storage, PicturesTheCameraTakesAreStoredAndFetchable) {
  emulator.clearStoredPictures(id);
  emulator.snapshot(id, 5);
  ASSERT_TRUE(vkttest::WaitFor([&] { return !emulator.storedPictures(id).empty(); }, 3s));
  const std::string path = emulator.storedPictures(id).front();
  DirectoryEntry name = FetchName(path);
  char* picture = nullptr;
  int length = 0;
  ASSERT_EQ(VKT_GetJPGPic(handle, &name, &picture, &length, 1000), 0);
  ASSERT_GT(length, 4);
  EXPECT_EQ(static_cast<uint8_t>(picture[0]), 0xFF);
  EXPECT_EQ(static_cast<uint8_t>(picture[1]), 0xD8);
  EXPECT_EQ(std::vector<uint8_t>(picture, picture + length), *emulator.storedPicture(id, path));
}

}  // namespace
