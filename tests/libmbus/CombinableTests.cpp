// The combinable VIFEs wherever they stand in the chain (after a primary
// VIF, after FD/FB and their first VIFE, after a plain-text VIF), and texts
// that carry bytes no XML document may hold. Telegrams of our own.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "TestFiles.h"
#include "XmlWellFormed.h"
#include "mbus/mbus.h"

using mbus_test::Reply;
using mbus_test::XmlFault;

namespace {

struct Parsed {
  mbus_frame frame{};
  mbus_frame_data data{};
  int result = -1;
  ~Parsed() { mbus_data_record_free(data.data_var.record); }
};

std::unique_ptr<Parsed> Parse(const std::string& records) {
  auto p = std::make_unique<Parsed>();
  std::vector<unsigned char> bytes = Reply(records);
  if (mbus_parse(&p->frame, bytes.data(), bytes.size()) != 0) return p;
  p->result = mbus_frame_data_parse(nullptr, &p->frame, &p->data);
  return p;
}

struct RecordDeleter {
  void operator()(mbus_record* r) const { mbus_record_free(r); }
};
using Norm = std::unique_ptr<mbus_record, RecordDeleter>;

std::string Owned(char* text) {
  std::string copy = text ? text : "(null)";
  mbus_str_free(text);
  return copy;
}

// One record; an empty quantity means "no normalised form".
struct Case {
  const char* record;
  const char* quantity;
  const char* unit;
  double number;  // when text is nullptr
  const char* text = nullptr;
};

const char* const kDegrees =
    "\xC2\xB0"
    "C";

const Case kCases[] = {
    // multiplicative corrections: E111 1101 (x10^3) and E111 0nnn (x10^(nnn-6))
    {"04 8E 7D 89 08 08 00", "Energy", "J", 526473e9},   // MJ x 1000: 526473 GJ
    {"0C 85 7D 56 34 12 00", "Energy", "Wh", 123456e5},  // 100 Wh x 1000
    {"04 93 74 D2 04 00 00", "Volume", "m^3", 0.01234},
    {"04 FD C9 73 40 82 03 00", "Voltage", "V", 229.952},  // after FD and its VIFE
    {"04 FB 80 7D 0A 00 00 00", "Energy", "Wh", 1e9},      // after FB and its VIFE
    {"02 FC 03 48 52 25 7D 05 00", "%RH", "-", 5000},      // after a plain-text VIF
    {"04 93 F4 7D D2 04 00 00", "Volume", "m^3", 12.34},   // chain: x10^-2, x10^3
    // additive corrections: E111 10nn adds 10^(nn-3) units of the VIF (litres)
    {"04 93 78 D2 04 00 00", "Volume", "m^3", 1.234001},
    {"04 93 FA 7D E8 03 00 00", "Volume", "m^3", 1000.0001},
    // recognised, value and texts unchanged
    {"04 93 7E D2 04 00 00", "Volume", "m^3", 1.234},     // future value
    {"04 93 FF 74 D2 04 00 00", "Volume", "m^3", 1.234},  // the maker's 0x74, no correction
    {"04 FD C9 FF 73 E6 00 00 00", "Voltage", "V", 230},  // the same after FD
    {"04 93 00 D2 04 00 00", "Volume", "m^3", 1.234},     // record error code "none"
    {"04 83 3B 88 13 00 00", "Energy", "Wh", 5000},       // accumulation of positive only
    {"04 93 28 08 00 00 00", "Volume", "m^3", 0.008},     // increment per input pulse
    {"04 93 1D D2 04 00 00", "Volume", "m^3", 1.234},     // standard conform content
    // a value that is no plain reading keeps its own name
    {"04 83 3C 88 13 00 00", "Energy negative accumulation", "Wh", 5000},
    {"04 93 22 D2 04 00 00", "Volume per hour", "m^3/h", 1.234},
    {"04 93 2E D2 04 00 00", "Volume per kg", "m^3/kg", 1.234},
    {"04 93 36 D2 04 00 00", "Volume times s", "m^3*s", 1.234},
    {"04 93 12 D2 04 00 00", "Volume average", "m^3", 1.234},
    {"04 93 3A D2 04 00 00", "Volume uncorrected", "m^3", 1.234},
    {"04 93 15 D2 04 00 00", "Volume record error", "m^3", 1.234},
    {"02 DB 40 2A 00", "Flow temperature lower limit", kDegrees, 42},
    {"02 DB 49 03 00", "Flow temperature upper limit exceeds", "", 3},
    {"02 DB 52 03 00", "Flow temperature first lower limit exceed duration", "s", 10800},
    {"02 93 61 05 00", "Volume first duration", "s", 300},
    {"02 93 39 BF 1C", "Volume start date", "-", 0, "2013-12-31"},
    {"04 DB 4B 0A 0C CD 13", "Flow temperature first upper limit exceed end", "-", 0,
     "2014-03-13T12:10:00Z"},
    {"04 93 F4 22 D2 04 00 00", "Volume per hour", "m^3/h", 0.01234},  // correction and rate
    // no single reading: reserved codes, profiles, a rate of a date
    {"04 93 7C D2 04 00 00", "", "", 0},
    {"04 93 3D D2 04 00 00", "", "", 0},
    {"04 93 1F D2 04 00 00", "", "", 0},
    {"04 93 A2 39 D2 04 00 00", "", "", 0},
};

}  // namespace

TEST(MbusCombinable, EachCodeIsReadAsTheStandardSays) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.record);
    auto p = Parse(c.record);
    ASSERT_EQ(p->result, 0);
    mbus_data_record* r = p->data.data_var.record;
    ASSERT_NE(r, nullptr);
    Norm n(mbus_parse_variable_record(nullptr, r));
    const std::string xml = Owned(mbus_frame_data_xml_normalized(&p->data));
    EXPECT_EQ(XmlFault(xml), "");
    if (!*c.quantity) {
      EXPECT_FALSE(n);
      EXPECT_EQ(xml.find("<Quantity>"), std::string::npos);
      continue;
    }
    ASSERT_TRUE(n);
    EXPECT_STREQ(n->quantity, c.quantity);
    EXPECT_STREQ(n->unit, c.unit);
    EXPECT_EQ(xml.find("<Quantity>" + std::string(c.quantity) + "</Quantity>") != std::string::npos,
              true);
    if (c.text) {
      ASSERT_FALSE(n->is_numeric);
      EXPECT_STREQ(n->value.str_val.value, c.text);
    } else {
      ASSERT_TRUE(n->is_numeric);
      EXPECT_NEAR(n->value.real_val, c.number, std::fabs(c.number) * 1e-12);
    }
  }
}

TEST(MbusCombinable, FrameDataKeepsTheRawValueAndThePlainTextPrefix) {
  auto p = Parse("02 FC 03 48 52 25 F4 7D 05 00  04 8E 7D 89 08 08 00");
  ASSERT_EQ(p->result, 0);
  mbus_data_record* r = p->data.data_var.record;
  EXPECT_EQ(Owned(mbus_data_record_value(r)), "5");
  EXPECT_EQ(Owned(mbus_data_record_value(r->next)), "526473");
  const std::string xml = Owned(mbus_frame_data_xml(&p->data));
  EXPECT_NE(xml.find("<Unit>10  %RH</Unit>"), std::string::npos) << xml;
  EXPECT_EQ(XmlFault(xml), "");
}

TEST(MbusCombinable, UnitNormalisationAppliesCorrectionsOrRefuses) {
  mbus_value_information_block vib{};
  vib.vif = 0x8E;
  vib.nvife = 1;
  vib.vife[0] = 0x7D;
  char* unit = nullptr;
  char* quantity = nullptr;
  double value = 0;
  ASSERT_EQ(mbus_vib_unit_normalize(&vib, 2.0, &unit, &value, &quantity), 0);
  EXPECT_DOUBLE_EQ(value, 2e9);
  EXPECT_STREQ(unit, "J");
  vib.vife[0] = 0x22;  // per hour: not an energy
  EXPECT_EQ(mbus_vib_unit_normalize(&vib, 2.0, &unit, &value, &quantity), -1);
}

// Bytes below 0x20 in texts of every kind of record: variable-length text,
// a plain-text VIF's unit, manufacturer data; and the XML specials.
TEST(MbusXmlText, EveryDocumentIsWellFormedAndTextsCarryNoControls) {
  auto p = Parse(
      "0D FD 11 05 41 0C 42 07 43  0D FD 10 03 3C 26 3E  02 7C 02 41 09 05 00  "
      "0D 13 04 00 01 1F 41  0F 01 07 3C 26");
  ASSERT_EQ(p->result, 0);
  mbus_data_record* r = p->data.data_var.record;
  const std::string expected[] = {"C B A", ">&<", "", "A   "};
  for (const std::string& text : expected) {
    ASSERT_NE(r, nullptr);
    Norm n(mbus_parse_variable_record(nullptr, r));
    ASSERT_TRUE(n);
    if (!text.empty()) {
      ASSERT_FALSE(n->is_numeric);
      EXPECT_EQ(std::string(n->value.str_val.value), text);
      EXPECT_EQ(n->value.str_val.size, static_cast<int>(text.size()));
    } else {
      EXPECT_STREQ(n->quantity, " A");
    }
    r = r->next;
  }
  const std::string norm = Owned(mbus_frame_data_xml_normalized(&p->data));
  const std::string plain = Owned(mbus_frame_data_xml(&p->data));
  const std::string frame = Owned(mbus_frame_xml(&p->frame));
  for (const std::string* xml : {&norm, &plain, &frame}) {
    EXPECT_EQ(XmlFault(*xml), "") << *xml;
    EXPECT_NE(xml->find("<Value>C B A</Value>"), std::string::npos);
    EXPECT_NE(xml->find("<Value>&gt;&amp;&lt;</Value>"), std::string::npos);
  }
  EXPECT_NE(plain.find("<Unit> A</Unit>"), std::string::npos);
  EXPECT_NE(norm.find("<Quantity> A</Quantity>"), std::string::npos);
}

// The checker itself: it must refuse what XML readers refuse.
TEST(MbusXmlText, TheCheckerRefusesWhatReadersRefuse) {
  const char* const bad[] = {
      "<a>\x07</a>", "<a><b></a></b>",   "<a>&foo;</a>", "<a>&#1;</a>", "<a b=\"<\"/>",
      "<a></a><b/>", "<a b='1' b='2'/>", "<a>]]></a>",   "<a",          "<1a/>",
  };
  for (const char* doc : bad) EXPECT_NE(XmlFault(doc), "") << doc;
  const char* const good[] = {
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<a>\n<b id=\"1\">&amp;&#x41;\xB0</b></a>\n",
      "<a/>",
      "<a b='&quot;'>\t\r\n</a>",
  };
  for (const char* doc : good) EXPECT_EQ(XmlFault(doc), "") << doc;
}
