// libmbus's link-layer conversations through the handle's hooks against the
// simulated segment: primary reads, multi-telegram replies, selection, the
// receive results and what the library asks of the line.
#include <chrono>
#include <cstring>
#include <thread>

#include "BusFixture.h"

namespace bustest {
namespace {

using bus::Bytes;

class HookConversation : public BusFixture {};

TEST_F(HookConversation, ConnectAndDisconnectGoThroughTheHooks) {
  EXPECT_EQ(hooks.opens, 1);
  EXPECT_EQ(handle->fd, 1);
  EXPECT_EQ(mbus_disconnect(handle), 0);
  EXPECT_EQ(hooks.closes, 1);
  EXPECT_EQ(handle->fd, -1);
}

TEST_F(HookConversation, PrimaryReadAsksForExactlyWhatTheFrameNeeds) {
  segment.AddSlave(Meter(5, Address(0x12345678)));
  ASSERT_EQ(mbus_send_request_frame(handle, 5), 0);
  auto frame = NewFrame();
  ASSERT_EQ(mbus_recv_frame(handle, frame.get()), 0);
  EXPECT_EQ(frame->type, MBUS_FRAME_TYPE_LONG);
  EXPECT_EQ(frame->address, 5);
  EXPECT_EQ(SecondaryOf(frame.get()), "123456782C2D0107");
  // Start byte, the rest of the header, then the length field's bytes + 2.
  ASSERT_EQ(hooks.asked.size(), 3u);
  EXPECT_EQ(hooks.asked[0], 1);
  EXPECT_EQ(hooks.asked[1], 3);
  EXPECT_EQ(hooks.asked[2], frame->length1 + 2);
  EXPECT_EQ(hooks.short_reads, 0);
}

TEST_F(HookConversation, AcknowledgementIsOneByte) {
  segment.AddSlave(Meter(5, Address(0x12345678)));
  ASSERT_EQ(mbus_send_ping_frame(handle, 5, 0), 0);
  auto frame = NewFrame();
  ASSERT_EQ(mbus_recv_frame(handle, frame.get()), 0);
  EXPECT_EQ(mbus_frame_type(frame.get()), MBUS_FRAME_TYPE_ACK);
  EXPECT_EQ(hooks.asked, std::vector<int>{1});
  EXPECT_EQ(mbus_purge_frames(handle), 0);  // nothing more came
}

TEST_F(HookConversation, PingWithPurgeReadsTheAnswerWithoutWaitingForSilence) {
  segment.AddSlave(Meter(5, Address(0x12345678)));
  ASSERT_EQ(mbus_send_ping_frame(handle, 5, 1), 0);
  EXPECT_EQ(hooks.asked, std::vector<int>{1});
  EXPECT_EQ(hooks.short_reads, 0);
  EXPECT_FALSE(segment.Pending());
  ASSERT_EQ(mbus_send_ping_frame(handle, 6, 1), 0);  // nobody: one silent read
  EXPECT_EQ(hooks.short_reads, 1);
}

TEST_F(HookConversation, SilenceIsMinusThreeAndSetsTheErrorText) {
  segment.AddSlave(Meter(5, Address(0x12345678)));
  mbus_error_reset(handle);
  EXPECT_EQ(mbus_error_str(handle), nullptr);
  ASSERT_EQ(mbus_send_request_frame(handle, 6), 0);
  auto frame = NewFrame();
  EXPECT_EQ(mbus_recv_frame(handle, frame.get()), -3);
  ASSERT_NE(mbus_error_str(handle), nullptr);
  mbus_error_reset(handle);
  EXPECT_EQ(mbus_error_str(handle), nullptr);
}

TEST_F(HookConversation, BadChecksumIsMinusTwo) {
  bus::SlaveConfig config = Meter(5, Address(0x12345678));
  config.telegrams[0][config.telegrams[0].size() - 2] ^= 0x55;
  segment.AddSlave(config);
  ASSERT_EQ(mbus_send_request_frame(handle, 5), 0);
  auto frame = NewFrame();
  EXPECT_EQ(mbus_recv_frame(handle, frame.get()), -2);
}

TEST_F(HookConversation, TwoSlavesAnsweringAtOnceAreMinusTwo) {
  segment.AddSlave(Meter(5, Address(0x12345678)));
  segment.AddSlave(Meter(5, Address(0x87654321)));
  ASSERT_EQ(mbus_send_request_frame(handle, 5), 0);
  auto frame = NewFrame();
  EXPECT_EQ(mbus_recv_frame(handle, frame.get()), -2);
  ASSERT_EQ(mbus_send_ping_frame(handle, 5, 0), 0);
  EXPECT_EQ(mbus_recv_frame(handle, frame.get()), -2);
}

TEST_F(HookConversation, ReplyCutShortIsMinusTwo) {
  bus::SlaveConfig config = Meter(5, Address(0x12345678));
  config.telegrams[0].resize(config.telegrams[0].size() - 4);
  segment.AddSlave(config);
  ASSERT_EQ(mbus_send_request_frame(handle, 5), 0);
  auto frame = NewFrame();
  EXPECT_EQ(mbus_recv_frame(handle, frame.get()), -2);
  EXPECT_EQ(hooks.short_reads, 1);
}

TEST_F(HookConversation, MultiTelegramReplyIsChainedWithAlternatingFcb) {
  bus::SlaveConfig config;
  config.primary = 9;
  const auto a = Address(0x55555555);
  config.telegrams = {bus::BuildTelegram(9, a, 1, true), bus::BuildTelegram(9, a, 2, true),
                      bus::BuildTelegram(9, a, 3, false)};
  bus::VirtualSlave& slave = segment.AddSlave(config);
  auto frame = NewFrame();
  ASSERT_EQ(mbus_sendrecv_request(handle, 9, frame.get(), 16), 0);
  int frames = 0;
  for (mbus_frame* f = frame.get(); f; f = f->next) {
    ++frames;
    EXPECT_EQ(f->type, MBUS_FRAME_TYPE_LONG);
  }
  EXPECT_EQ(frames, 3);
  EXPECT_EQ(slave.NewReplies(), 3);
  EXPECT_EQ(slave.Repeats(), 0);
  // A second read starts over with the first telegram.
  auto again = NewFrame();
  ASSERT_EQ(mbus_sendrecv_request(handle, 9, again.get(), 16), 0);
  EXPECT_EQ(std::memcmp(again->data, frame->data, frame->data_size), 0);
  EXPECT_EQ(slave.Repeats(), 0);
}

TEST_F(HookConversation, MultiTelegramReadStopsAtMaxFrames) {
  bus::SlaveConfig config;
  config.primary = 9;
  const auto a = Address(0x55555555);
  config.telegrams = {bus::BuildTelegram(9, a, 1, true), bus::BuildTelegram(9, a, 2, true),
                      bus::BuildTelegram(9, a, 3, false)};
  segment.AddSlave(config);
  auto frame = NewFrame();
  ASSERT_EQ(mbus_sendrecv_request(handle, 9, frame.get(), 2), 0);
  ASSERT_NE(frame->next, nullptr);
  EXPECT_EQ(frame->next->next, nullptr);
  EXPECT_EQ(mbus_sendrecv_request(handle, 9, frame.get(), 0), -1);
}

TEST_F(HookConversation, SendrecvOfASilentAddressFailsAfterRetries) {
  handle->max_data_retry = 2;
  auto frame = NewFrame();
  EXPECT_EQ(mbus_sendrecv_request(handle, 17, frame.get(), 16), -1);
  EXPECT_EQ(frame->next, nullptr);
  // Each try first resets the unknown link; none is acknowledged.
  EXPECT_EQ(segment.Stats().pings, 3);
  EXPECT_EQ(segment.Stats().requests, 0);
  EXPECT_NE(mbus_error_str(handle), nullptr);
}

// A primary slave's link is reset before the first read of a handle and after
// a failed read, never in between: a slave that made a telegram for a read
// whose reply was lost must not hand that stale telegram to the next read.
TEST_F(HookConversation, PrimaryLinkIsResetWhenUnknownSoNoStaleTelegramIsRepeated) {
  std::uint32_t made = 0;
  bus::SlaveConfig config;
  config.primary = 5;
  config.generate = [&made] {
    ++made;
    return std::vector<Bytes>{bus::BuildTelegram(5, Address(0x12345678), made)};
  };
  bus::VirtualSlave& slave = segment.AddSlave(config);
  handle->max_data_retry = 0;
  const auto read = [&] {
    auto frame = NewFrame();
    const int result = mbus_sendrecv_request(handle, 5, frame.get(), 1);
    return result == 0 ? Bytes(frame->data, frame->data + frame->data_size) : Bytes{};
  };
  const Bytes first = read();
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(segment.Stats().pings, 1);
  EXPECT_NE(read(), first);
  EXPECT_EQ(segment.Stats().pings, 1);  // the link is known now
  slave.SetSilent(true);
  EXPECT_TRUE(read().empty());
  EXPECT_EQ(slave.Withheld(), 1);
  slave.SetSilent(false);
  const std::uint32_t withheld = made;
  const Bytes after = read();
  ASSERT_FALSE(after.empty());
  EXPECT_GT(made, withheld);  // a telegram made for this read
  EXPECT_EQ(slave.Repeats(), 0);
  EXPECT_EQ(segment.Stats().pings, 2);  // reset again after the failed read
}

TEST_F(HookConversation, ReplyInManySmallPiecesCompletesWithoutSilence) {
  segment.SetTiming(bus::BusTiming{true, 38400});
  bus::SlaveConfig config = Meter(5, Address(0x12345678));
  config.reply_delay_ms = 1;
  segment.AddSlave(config);
  hooks.SetPieceSize(1);
  auto frame = NewFrame();
  ASSERT_EQ(mbus_sendrecv_request(handle, 5, frame.get(), 16), 0);
  EXPECT_EQ(SecondaryOf(frame.get()), "123456782C2D0107");
  EXPECT_EQ(hooks.short_reads, 0);
}

TEST_F(HookConversation, SelectionAnswersNoneOneOrCollision) {
  segment.AddSlave(Meter(-1, Address(0x12345678)));
  segment.AddSlave(Meter(-1, Address(0x12349999)));
  EXPECT_EQ(mbus_select_secondary_address(handle, "77777777FFFFFFFF"), 0);
  EXPECT_EQ(mbus_select_secondary_address(handle, "1234FFFFFFFFFFFF"), 2);
  EXPECT_EQ(mbus_select_secondary_address(handle, "12345678FFFFFFFF"), 1);
  auto frame = NewFrame();
  ASSERT_EQ(mbus_sendrecv_request(handle, 253, frame.get(), 16), 0);
  EXPECT_EQ(SecondaryOf(frame.get()), "123456782C2D0107");
  EXPECT_EQ(mbus_select_secondary_address(handle, "12345678"), -1);
  EXPECT_EQ(mbus_select_secondary_address(handle, "1234567GFFFFFFFF"), -1);
}

TEST_F(HookConversation, SilentSelectionIsRetriedByTheSearchRetryCount) {
  handle->max_search_retry = 2;
  EXPECT_EQ(mbus_select_secondary_address(handle, "77777777FFFFFFFF"), 0);
  EXPECT_EQ(segment.Stats().selections, 3);
}

TEST_F(HookConversation, ProbeReportsTheMatchingAddress) {
  segment.AddSlave(Meter(-1, Address(0x12345678, 0x1234, 0x21, 0x04)));
  char matched[17] = {};
  EXPECT_EQ(mbus_probe_secondary_address(handle, "1234FFFFFFFFFFFF", matched), 1);
  EXPECT_STREQ(matched, "1234567812342104");
  EXPECT_EQ(mbus_probe_secondary_address(handle, "9999FFFFFFFFFFFF", matched), 0);
}

TEST_F(HookConversation, ReadSlaveByPrimaryAndSecondaryAddress) {
  segment.AddSlave(Meter(3, Address(0x11112222)));
  segment.AddSlave(Meter(4, Address(0x33334444)));
  mbus_address primary{1, 3, nullptr};
  auto frame = NewFrame();
  ASSERT_EQ(mbus_read_slave(handle, &primary, frame.get()), 0);
  EXPECT_EQ(SecondaryOf(frame.get()), "111122222C2D0107");
  mbus_address secondary{0, 0, "33334444FFFFFFFF"};
  ASSERT_EQ(mbus_read_slave(handle, &secondary, frame.get()), 0);
  EXPECT_EQ(SecondaryOf(frame.get()), "333344442C2D0107");
  mbus_address nobody{0, 0, "99999999FFFFFFFF"};
  EXPECT_EQ(mbus_read_slave(handle, &nobody, frame.get()), -1);
}

TEST_F(HookConversation, SetPrimaryAddressMovesTheSlave) {
  bus::VirtualSlave& slave = segment.AddSlave(Meter(3, Address(0x11112222)));
  ASSERT_EQ(mbus_set_primary_address(handle, 3, 77), 0);
  EXPECT_EQ(slave.Primary(), 77);
  EXPECT_EQ(mbus_set_primary_address(handle, 3, 78), -1);  // nobody at 3 any more
  EXPECT_EQ(mbus_set_primary_address(handle, 77, 251), -1);
  EXPECT_EQ(mbus_set_primary_address(handle, 255, 5), -1);
}

TEST_F(HookConversation, BaudRateSwitchGoesThroughTheHook) {
  bus::VirtualSlave& slave = segment.AddSlave(Meter(3, Address(0x11112222)));
  ASSERT_EQ(mbus_send_switch_baudrate_frame(handle, 3, 9600), 0);
  EXPECT_EQ(hooks.baudrates, std::vector<int>{9600});
  EXPECT_EQ(slave.Baudrate(), 9600);
  auto frame = NewFrame();
  EXPECT_EQ(mbus_sendrecv_request(handle, 3, frame.get(), 1), 0);
  EXPECT_EQ(mbus_send_switch_baudrate_frame(handle, 3, 1234), -1);
  EXPECT_EQ(hooks.baudrates.size(), 1u);
}

TEST_F(HookConversation, UserDataAndApplicationResetReachTheSlave) {
  bus::VirtualSlave& slave = segment.AddSlave(Meter(3, Address(0x11112222)));
  const unsigned char data[] = {0x01, 0xFD, 0x1B, 0x05};
  ASSERT_EQ(mbus_send_user_data_frame(handle, 3, data, sizeof data), 0);
  EXPECT_EQ(slave.LastUserData(), Bytes(data, data + sizeof data));
  auto frame = NewFrame();
  ASSERT_EQ(mbus_recv_frame(handle, frame.get()), 0);
  EXPECT_EQ(frame->type, MBUS_FRAME_TYPE_ACK);
  ASSERT_EQ(mbus_send_application_reset_frame(handle, 3, -1), 0);
  ASSERT_EQ(mbus_recv_frame(handle, frame.get()), 0);
  EXPECT_EQ(frame->type, MBUS_FRAME_TYPE_ACK);
  unsigned char big[300] = {};
  EXPECT_EQ(mbus_send_user_data_frame(handle, 3, big, sizeof big), -1);
}

TEST_F(HookConversation, FailingHooksFailTheCall) {
  segment.AddSlave(Meter(5, Address(0x12345678)));
  hooks.cancel = true;
  EXPECT_EQ(mbus_send_ping_frame(handle, 5, 1), -1);
  auto frame = NewFrame();
  EXPECT_EQ(mbus_recv_frame(handle, frame.get()), -1);
  EXPECT_EQ(mbus_select_secondary_address(handle, "12345678FFFFFFFF"), -1);
  EXPECT_EQ(segment.Stats().frames, 0);
}

TEST_F(HookConversation, TrafficCallbacksSeeEveryByte) {
  static std::size_t sent_bytes, received_bytes;
  sent_bytes = received_bytes = 0;
  mbus_register_send_event(handle, [](unsigned char, const char*, size_t n) { sent_bytes += n; });
  mbus_register_recv_event(handle,
                           [](unsigned char, const char*, size_t n) { received_bytes += n; });
  bus::SlaveConfig config = Meter(5, Address(0x12345678));
  const std::size_t reply = config.telegrams[0].size();
  segment.AddSlave(config);
  auto frame = NewFrame();
  ASSERT_EQ(mbus_sendrecv_request(handle, 5, frame.get(), 1), 0);
  EXPECT_EQ(sent_bytes, 10u);  // the link's reset and the request
  EXPECT_EQ(received_bytes, reply + 1);
}

TEST(HandleLifetime, ContextFreeClosesButMemFreeCallsNoHook) {
  bus::BusSegment segment(bus::BusTiming{false, 2400});
  bus::BusHooks hooks(segment);
  mbus_handle* a = mbus_context_serial("COM1");
  hooks.Install(a);
  ASSERT_EQ(mbus_connect(a), 0);
  mbus_context_free(a);
  EXPECT_EQ(hooks.closes, 1);
  mbus_handle* b = mbus_context_serial("COM1");
  hooks.Install(b);
  ASSERT_EQ(mbus_connect(b), 0);
  mbus_mem_free(b);
  EXPECT_EQ(hooks.closes, 1);
  mbus_mem_free(nullptr);
  mbus_context_free(nullptr);
}

TEST(HandleLifetime, FailingOpenHookFailsConnect) {
  bus::BusSegment segment(bus::BusTiming{false, 2400});
  bus::BusHooks hooks(segment);
  mbus_handle* h = mbus_context_serial("COM1");
  hooks.Install(h);
  hooks.cancel = true;
  EXPECT_EQ(mbus_connect(h), -1);
  EXPECT_NE(mbus_error_str(h), nullptr);
  mbus_mem_free(h);
}

TEST(HandleLifetime, WithoutHooksNothingIsSentUnconnected) {
  mbus_handle* h = mbus_context_serial("/nonexistent/tty");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->max_search_retry, 1);
  EXPECT_EQ(mbus_send_ping_frame(h, 1, 0), -1);
  EXPECT_EQ(mbus_connect(h), -1);
  EXPECT_EQ(mbus_disconnect(h), -1);
  EXPECT_EQ(mbus_context_serial(nullptr), nullptr);
  EXPECT_EQ(mbus_context_set_option(h, MBUS_OPTION_MAX_DATA_RETRY, 4), 0);
  EXPECT_EQ(h->max_data_retry, 4);
  EXPECT_EQ(mbus_context_set_option(h, MBUS_OPTION_MAX_SEARCH_RETRY, -1), -1);
  mbus_context_free(h);
}

TEST(HandleLayout, PluginFieldsKeepTheirOrder) {
  EXPECT_EQ(offsetof(mbus_handle, fd), 0u);
  EXPECT_EQ(offsetof(mbus_handle, max_search_retry), 8u);
  EXPECT_EQ(offsetof(mbus_handle, io_mode), 13u);
  EXPECT_LT(offsetof(mbus_handle, scan_progress), offsetof(mbus_handle, found_event));
  EXPECT_LT(offsetof(mbus_handle, found_event), offsetof(mbus_handle, auxdata));
  EXPECT_LT(offsetof(mbus_handle, auxdata), offsetof(mbus_handle, send_hook));
  EXPECT_EQ(offsetof(mbus_handle, recv_hook) - offsetof(mbus_handle, send_hook), sizeof(void*));
  EXPECT_EQ(offsetof(mbus_handle, baudrate_hook) - offsetof(mbus_handle, send_hook),
            4 * sizeof(void*));
}

TEST(ErrorTexts, NullHandleUsesThePerThreadText) {
  mbus_error_reset(nullptr);
  mbus_error_str_set_ex(nullptr, "first");
  ASSERT_NE(mbus_error_str(nullptr), nullptr);
  EXPECT_STREQ(mbus_error_str(nullptr), "first");
  const char* other = "unset";
  std::thread([&] { other = mbus_error_str(nullptr); }).join();
  EXPECT_EQ(other, nullptr);
  char text[] = "second";
  mbus_error_str_set(text);
  EXPECT_STREQ(mbus_error_str(nullptr), "second");
  mbus_error_reset(nullptr);
  EXPECT_EQ(mbus_error_str(nullptr), nullptr);
}

}  // namespace
}  // namespace bustest
