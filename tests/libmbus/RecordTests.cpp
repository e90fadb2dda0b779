// Application layer: records of variable-structure replies, fixed replies,
// normalisation and the handling of malformed record areas.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "TestFiles.h"
#include "libmbus/src/Decode.h"
#include "libmbus/src/Xml.h"
#include "mbus/mbus.h"

using mbus_test::Bytes;
using mbus_test::Reply;

namespace {

struct Parsed {
  mbus_frame frame{};
  mbus_frame_data data{};
  int result = -1;
  ~Parsed() { mbus_data_record_free(data.data_var.record); }
};

std::unique_ptr<Parsed> Parse(std::vector<unsigned char> bytes) {
  auto p = std::make_unique<Parsed>();
  if (mbus_parse(&p->frame, bytes.data(), bytes.size()) != 0) return p;
  p->result = mbus_frame_data_parse(nullptr, &p->frame, &p->data);
  return p;
}

struct RecordDeleter {
  void operator()(mbus_record* r) const { mbus_record_free(r); }
};
using Norm = std::unique_ptr<mbus_record, RecordDeleter>;

Norm Normalise(mbus_data_record* r) {
  return Norm(mbus_parse_variable_record(nullptr, r));
}

}  // namespace

TEST(MbusRecords, DifeCarriesStorageTariffAndDevice) {
  // DIF 0x44 (storage bit), DIFE 0x93 (storage 3, tariff 1, more), DIFE 0x40 (device).
  auto p = Parse(Reply("C4 93 40 13 2A 00 00 00"));
  ASSERT_EQ(p->result, 0);
  mbus_data_record* r = p->data.data_var.record;
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->dib.ndife, 2u);
  EXPECT_EQ(mbus_data_record_storage_number(r), 1 + (3 << 1));
  EXPECT_EQ(mbus_data_record_tariff(r), 1);
  EXPECT_EQ(mbus_data_record_device(r), 2);
  Norm n = Normalise(r);
  ASSERT_TRUE(n);
  EXPECT_EQ(n->storage_number, 7);
  EXPECT_EQ(n->tariff, 1);
  EXPECT_EQ(n->device, 2);
  EXPECT_STREQ(n->function_medium, "Instantaneous value");
  EXPECT_NEAR(n->value.real_val, 0.042, 1e-12);
  EXPECT_STREQ(n->quantity, "Volume");
}

TEST(MbusRecords, ValueTypes) {
  auto p =
      Parse(Reply("01 FD 1B 05 02 6C 5F 1C 0B 2B 56 34 12 05 2E 00 00 C0 3F 0D FD 0B 03 31 32 41"));
  ASSERT_EQ(p->result, 0);
  ASSERT_EQ(p->data.data_var.nrecords, 5u);
  mbus_data_record* r = p->data.data_var.record;
  Norm input = Normalise(r);
  ASSERT_TRUE(input);
  EXPECT_TRUE(input->is_numeric);
  EXPECT_EQ(input->value.real_val, 5.0);
  EXPECT_STREQ(input->quantity, "Digital Input");
  r = r->next;
  Norm date = Normalise(r);
  ASSERT_TRUE(date);
  EXPECT_FALSE(date->is_numeric);
  EXPECT_STREQ(date->value.str_val.value, "2010-12-31");
  r = r->next;
  Norm bcd = Normalise(r);
  ASSERT_TRUE(bcd);
  EXPECT_NEAR(bcd->value.real_val, 123456.0, 1e-6);
  EXPECT_STREQ(bcd->unit, "W");
  r = r->next;
  Norm real = Normalise(r);
  ASSERT_TRUE(real);
  EXPECT_NEAR(real->value.real_val, 1500.0, 1e-9);
  r = r->next;
  Norm text = Normalise(r);
  ASSERT_TRUE(text);
  EXPECT_STREQ(text->value.str_val.value, "A21");
  EXPECT_STREQ(text->quantity, "Parameter set identification");
  char* value = mbus_data_record_value(r);
  ASSERT_NE(value, nullptr);
  EXPECT_STREQ(value, "A21");
  mbus_str_free(value);
}

TEST(MbusRecords, PlainTextVifWithDecimalCorrection) {
  auto p = Parse(Reply("02 FC 03 48 52 25 74 D4 11"));
  ASSERT_EQ(p->result, 0);
  mbus_data_record* r = p->data.data_var.record;
  EXPECT_STREQ(reinterpret_cast<char*>(r->vib.custom_vif), "%RH");
  EXPECT_STREQ(mbus_data_record_unit(r), "%RH");
  Norm n = Normalise(r);
  ASSERT_TRUE(n);
  EXPECT_STREQ(n->unit, "-");
  EXPECT_STREQ(n->quantity, "%RH");
  EXPECT_NEAR(n->value.real_val, 45.64, 1e-9);
}

TEST(MbusRecords, ManufacturerDataEndsTheRecords) {
  auto p = Parse(Reply("04 13 01 00 00 00 1F AA BB"));
  ASSERT_EQ(p->result, 0);
  const mbus_data_variable& v = p->data.data_var;
  EXPECT_EQ(v.nrecords, 2u);
  EXPECT_EQ(v.more_records_follow, 1);
  EXPECT_EQ(v.mdh, 0x1F);
  ASSERT_EQ(v.mfg_data_len, 2u);
  EXPECT_EQ(v.mfg_data[0], 0xAA);
  Norm n = Normalise(v.record->next);
  ASSERT_TRUE(n);
  EXPECT_STREQ(n->value.str_val.value, "AA BB");
}

TEST(MbusRecords, IdleFillersAreSkipped) {
  auto p = Parse(Reply("2F 2F 01 FD 1B 00 2F"));
  ASSERT_EQ(p->result, 0);
  EXPECT_EQ(p->data.data_var.nrecords, 1u);
}

TEST(MbusRecords, MalformedRecordAreasFailWithAReason) {
  const char* const bad[] = {
      "04 13 2A 00",                                         // data runs past the end
      "84",                                                  // DIFE missing
      "04",                                                  // VIF missing
      "84 80 80 80 80 80 80 80 80 80 80 00 13 00 00 00 00",  // eleven DIFE
      "04 93 93 93 93 93 93 93 93 93 93 93 13 00 00 00 00",  // eleven VIFE
      "02 FC 09 41 42",                                      // plain-text VIF past the end
      "0D 13 F8 00",                                         // reserved LVAR
      "0D 13 E5 01 02",                                      // binary LVAR past the end
  };
  for (const char* records : bad) {
    SCOPED_TRACE(records);
    auto p = Parse(Reply(records));
    EXPECT_EQ(p->result, -1);
    EXPECT_EQ(p->data.data_var.record, nullptr);
    const char* reason = mbus_error_str(nullptr);
    ASSERT_NE(reason, nullptr);
    EXPECT_STRNE(reason, "");
  }
}

TEST(MbusRecords, UnknownCodesGiveNoNormalisedRecord) {
  auto p = Parse(Reply("04 7B 01 00 00 00 00 13"));
  ASSERT_EQ(p->result, 0);
  mbus_data_record* r = p->data.data_var.record;
  EXPECT_FALSE(Normalise(r));
  EXPECT_STREQ(mbus_data_record_unit(r), "Unknown (VIF=0x7B)");
  EXPECT_FALSE(Normalise(r->next));  // no data
}

TEST(MbusRecords, FixedReplyAndItsCounters) {
  auto bytes = Bytes("68 13 13 68 08 05 73 78 56 34 12 0A 00 E9 7E 01 00 00 00 35 01 00 00 3C 16");
  auto p = Parse(bytes);
  ASSERT_EQ(p->result, 0);
  ASSERT_EQ(p->data.type, MBUS_DATA_TYPE_FIXED);
  mbus_data_fixed& f = p->data.data_fix;
  EXPECT_STREQ(mbus_data_fixed_medium(&f), "Water");
  EXPECT_STREQ(mbus_data_fixed_unit(f.cnt1_type), "l");
  Norm n(mbus_parse_fixed_record(nullptr, static_cast<char>(f.status),
                                 static_cast<char>(f.cnt1_type), f.cnt1_val));
  ASSERT_TRUE(n);
  EXPECT_NEAR(n->value.real_val, 0.001, 1e-12);
  EXPECT_STREQ(n->quantity, "Volume");
  EXPECT_STREQ(n->function_medium, "Actual value");
  EXPECT_FALSE(Norm(mbus_parse_fixed_record(nullptr, 0, 0x00, f.cnt2_val)));
}

TEST(MbusRecords, ErrorReplyAndUnsupportedCi) {
  auto p = Parse(Bytes("68 04 04 68 08 01 70 08 81 16"));
  ASSERT_EQ(p->result, 0);
  EXPECT_EQ(p->data.type, MBUS_DATA_TYPE_ERROR);
  EXPECT_EQ(p->data.error, 8);
  EXPECT_STREQ(mbus_data_error_lookup(8), "Application busy");
  EXPECT_STREQ(mbus_data_error_lookup(77), "Unknown error");
  EXPECT_EQ(Parse(Reply("", 0x51))->result, -1);
  auto short_header = Parse(Bytes("68 08 08 68 08 02 72 78 56 34 12 24 B4 16"));
  EXPECT_EQ(short_header->result, -1);
}

TEST(MbusRecords, XmlWritersReturnTextTheCallerFrees) {
  auto p = Parse(Reply("04 13 2A 00 00 00"));
  ASSERT_EQ(p->result, 0);
  char* plain = mbus_frame_data_xml(&p->data);
  char* norm = mbus_frame_data_xml_normalized(&p->data);
  ASSERT_NE(plain, nullptr);
  ASSERT_NE(norm, nullptr);
  EXPECT_NE(std::strstr(plain, "<Unit>Volume (m m^3)</Unit>"), nullptr);
  EXPECT_NE(std::strstr(plain, "<Id>12345678</Id>"), nullptr);
  EXPECT_NE(std::strstr(norm, "<Value>0.042000</Value>"), nullptr);
  mbus_str_free(plain);
  mbus_str_free(norm);
  EXPECT_EQ(mbus_frame_data_xml(nullptr), nullptr);
}

TEST(MbusRecords, TelegramsBackToBackAreOneReply) {
  auto first = Reply("04 13 2A 00 00 00 1F");
  auto second = Reply("04 13 2B 00 00 00");
  first.insert(first.end(), second.begin(), second.end());
  const std::string xml = mbus::DecodeTelegrams(first, true);
  EXPECT_NE(xml.find("<DataRecord id=\"2\">"), std::string::npos);
  EXPECT_NE(xml.find("0.043000"), std::string::npos);
  EXPECT_EQ(xml.find("<SlaveInformation>"), xml.rfind("<SlaveInformation>"));
  first.pop_back();
  EXPECT_THROW(mbus::DecodeTelegrams(first, true), std::exception);
}

// Frame data packed back into a frame reads as the same reply.
TEST(MbusRecords, InternalPackRebuildsEveryReferenceReply) {
  size_t packed = 0;
  for (const auto& hex : mbus_test::FilesWith(mbus_test::TelegramDir("reference"), ".hex")) {
    SCOPED_TRACE(hex.filename().string());
    auto bytes = mbus::HexTextBytes(mbus_test::ReadFile(hex));
    auto original = Parse(bytes);
    ASSERT_EQ(original->result, 0);
    mbus_frame rebuilt{};
    rebuilt.control = original->frame.control;
    rebuilt.address = original->frame.address;
    ASSERT_EQ(mbus_frame_internal_pack(&rebuilt, &original->data), 0);
    EXPECT_EQ(mbus_frame_verify(&rebuilt), 0);
    EXPECT_EQ(mbus::ReplyXml(original->frame, true), mbus::ReplyXml(rebuilt, true));
    EXPECT_EQ(mbus::ReplyXml(original->frame, false), mbus::ReplyXml(rebuilt, false));
    ++packed;
  }
  EXPECT_GT(packed, 40u);
}
