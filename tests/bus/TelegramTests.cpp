#include <gtest/gtest.h>

#include <filesystem>

#include "host/bus/Telegrams.h"

namespace {

using bus::Bytes;

TEST(TelegramText, ReadsPairsWithSeparatorsAndComments) {
  EXPECT_EQ(bus::ParseHexText("10 5b FE 59 16"), (Bytes{0x10, 0x5B, 0xFE, 0x59, 0x16}));
  EXPECT_EQ(bus::ParseHexText("# a ping\r\n105B\n# end\nfe5916"),
            (Bytes{0x10, 0x5B, 0xFE, 0x59, 0x16}));
  EXPECT_TRUE(bus::ParseHexText("").empty());
}

TEST(TelegramText, RefusesBrokenText) {
  EXPECT_THROW(bus::ParseHexText("10 5"), bus::TelegramError);
  EXPECT_THROW(bus::ParseHexText("1 05B"), bus::TelegramError);
  EXPECT_THROW(bus::ParseHexText("10 5G"), bus::TelegramError);
  EXPECT_THROW(bus::ParseTelegrams("  # nothing\n"), bus::TelegramError);
}

TEST(TelegramText, SplitsBackToBackFrames) {
  const auto frames = bus::ParseTelegrams("E5 10 40 05 45 16 68 03 03 68 53 FE 50 A1 16");
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0], Bytes{0xE5});
  EXPECT_EQ(frames[1].size(), 5u);
  EXPECT_EQ(frames[2].size(), 9u);
}

TEST(TelegramText, RefusesFramesCutShortOrInconsistent) {
  EXPECT_THROW(bus::ParseTelegrams("10 40 05"), bus::TelegramError);
  EXPECT_THROW(bus::ParseTelegrams("68 05 05 68 08 01"), bus::TelegramError);
  EXPECT_THROW(bus::ParseTelegrams("68 05 06 68 08 01 72 00 00 7B 16"), bus::TelegramError);
  EXPECT_THROW(bus::ParseTelegrams("E5 42"), bus::TelegramError);
}

TEST(TelegramText, ReadsEveryReferenceTelegram) {
  const std::filesystem::path dir =
      std::filesystem::path(KOR_SHARED_DIR) / "testdata/meter-frames/reference";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".hex") continue;
    const auto frames = bus::ReadTelegramFile(entry.path().string());
    ASSERT_FALSE(frames.empty()) << entry.path();
    for (const auto& f : frames) EXPECT_TRUE(f[0] == 0x68 || f[0] == 0x10 || f[0] == 0xE5);
    ++files;
  }
  EXPECT_GT(files, 50);
}

TEST(TelegramText, MissingFileIsAnError) {
  EXPECT_THROW(bus::ReadTelegramFile("/nonexistent/telegram.hex"), bus::TelegramError);
}

TEST(TelegramBuild, AddressRoundTripsAndChecksumHolds) {
  const bus::SecondaryAddress a{0x12345678, 0x2C2D, 0x01, 0x07};
  Bytes t = bus::BuildTelegram(5, a, 4321, true);
  bus::SecondaryAddress read;
  ASSERT_TRUE(bus::AddressOfTelegram(t, read));
  EXPECT_EQ(read, a);
  EXPECT_EQ(a.Text(), "123456782C2D0107");
  EXPECT_EQ(t[5], 5);
  EXPECT_EQ(t[t.size() - 3], 0x1F);  // more records follow
  EXPECT_EQ(t[t.size() - 2], bus::Checksum(t.data() + 4, t.size() - 6));

  const bus::SecondaryAddress b{0x87654321, 0xFFFF, 0xAB, 0x0F};
  bus::SetTelegramAddress(t, b);
  ASSERT_TRUE(bus::AddressOfTelegram(t, read));
  EXPECT_EQ(read, b);
  EXPECT_EQ(t[t.size() - 2], bus::Checksum(t.data() + 4, t.size() - 6));
}

TEST(TelegramBuild, OnlyVariableRepliesCarryAnAddress) {
  bus::SecondaryAddress read;
  EXPECT_FALSE(bus::AddressOfTelegram(Bytes{0xE5}, read));
  const auto fixed = bus::ParseTelegrams(
      "68 13 13 68 08 05 73 78 56 34 12 0A 00 E9 7E 01 00 00 00 35 01 00 00 3C 16");
  EXPECT_FALSE(bus::AddressOfTelegram(fixed[0], read));
}

}  // namespace
