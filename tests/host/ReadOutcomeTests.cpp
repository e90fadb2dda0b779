// What `mbus-host read` ends with: the request document looked at before
// the run (requests, devices, the faulty line), the verdict over the run's
// facts (exit status and reason), and which devices gave rows.
#include <gtest/gtest.h>

#include "host/ReadOptions.h"
#include "host/ReadOutcome.h"
#include "host/RequestCheck.h"

namespace {

using host::CheckRequestDocument;
using Texts = std::vector<std::string>;

struct TDocumentCase {
  const char* Name;
  std::string Document;
  int Requests;
  Texts Devices;
  std::string Fault;   // "" none; else a part of it
  std::string Reason;  // a part of NoRequestReason when Requests is 0
};

TEST(RequestCheck, CountsRequestsAndNamesTheFaultyLine) {
  const std::string poll =
      "<RequestMethod><MethodPoll check=\"2\"><PollInterval>5</PollInterval></MethodPoll>"
      "</RequestMethod>";
  const TDocumentCase cases[] = {
      {"generated", host::BuildRequestDocument({"5", "9"}, 5000), 1, {"5", "9"}, "", ""},
      {"dialog flags",
       "<MBUS>\r\n<Request><Enabled checked=\"2\" /><Device>1</Device>" + poll +
           "</Request>\r\n</MBUS>",
       0,
       {},
       "",
       "not enabled"},
      {"check state",
       "<MBUS><Request><Enabled check=\"2\"/><Device>1;2, 1</Device></Request>"
       "<R><Enabled>1</Enabled><Device>s42</Device></R></MBUS>",
       2,
       {"1", "2", "s42"},
       "",
       ""},
      {"no device element reads 1", "<mbus><x><enabled>1</enabled></x></mbus>", 1, {"1"}, "", ""},
      {"truncated tag",
       "<MBUS><Request",
       0,
       {},
       "line 1: the tag <Request is not closed",
       "line 1: the tag <Request is not closed"},
      {"truncated later",
       "<MBUS>\n<Request>\n<Enabled>1</Enabled>\n<Device>5</Device>\n</Req",
       1,
       {"5"},
       "line 5: the tag </Req is not closed",
       ""},
      {"never closed",
       "<MBUS>\r\n  <Request>\r\n",
       0,
       {},
       "line 2: <Request> is never closed",
       "line 2: <Request> is never closed"},
      {"crossed",
       "<MBUS>\n<Request><Enabled>1</Request></Enabled>\n</MBUS>",
       1,
       {"1"},
       "line 2: </Request> where <Enabled> (line 2) must be closed first",
       ""},
      {"stray end",
       "<MBUS></MBUS>\n</Request>",
       0,
       {},
       "line 2: </Request> closes no element",
       "line 2"},
      {"empty MBUS",
       "<?xml version=\"1.0\"?>\n<!-- none -->\n<MBUS>\n</MBUS>",
       0,
       {},
       "",
       "line 3: <MBUS> holds no request"},
      {"no MBUS", "<Requests><Request/></Requests>", 0, {}, "", "no <MBUS> element"},
      {"empty text", "", 0, {}, "", "no <MBUS> element"},
      {"open comment",
       "<MBUS>\n<!-- <Request>",
       0,
       {},
       "line 2: the comment is not closed",
       "line 2: the comment"},
      {"two disabled",
       "<MBUS><A><Enabled>0</Enabled></A><B/></MBUS>",
       0,
       {},
       "",
       "none of the 2 requests is enabled"},
      {"quoted bracket",
       "<MBUS><Request caption=\"a>b\"><Enabled>1</Enabled></Request></MBUS>",
       1,
       {"1"},
       "",
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto check = CheckRequestDocument(c.Document);
    EXPECT_EQ(check.Requests, c.Requests);
    EXPECT_EQ(check.Devices, c.Devices);
    if (c.Fault.empty()) {
      EXPECT_EQ(check.Fault, "");
    } else {
      EXPECT_NE(check.Fault.find(c.Fault), std::string::npos) << check.Fault;
    }
    if (c.Requests == 0) {
      EXPECT_NE(check.NoRequestReason.find(c.Reason), std::string::npos) << check.NoRequestReason;
    } else {
      EXPECT_EQ(check.NoRequestReason, "");
    }
  }
}

host::TPortReport Port(const std::string& name, bool opened, std::uint64_t out, std::uint64_t in,
                       const std::string& error = "") {
  host::TPortReport port;
  port.Name = name;
  port.Opened = opened;
  port.OpenError = error;
  port.BytesOut = out;
  port.BytesIn = in;
  return port;
}

struct TVerdictCase {
  const char* Name;
  int Rows;
  bool Activated;
  std::vector<host::TPortReport> Ports;
  Texts Errors;
  Texts Silent;
  int Status;
  Texts Said;  // parts of the reason (status not 0) or of the notes
};

TEST(ReadVerdict, StatusAndReasonFollowWhatTheRunSaw) {
  const auto sim = Port("sim", true, 40, 900);
  const auto refused = Port("tcp:127.0.0.1:1", false, 0, 0, "tcp:127.0.0.1:1: connection refused");
  const Texts library = {"Unable to load API library: /b/libmbus.so",
                         "/b/libmbus.so: cannot open shared object file", "third"};
  const TVerdictCase cases[] = {
      {"rows", 12, true, {sim}, {}, {}, host::kReadRows, {}},
      {"rows, silent devices",
       3,
       true,
       {sim},
       {},
       {"7", "42"},
       host::kReadRows,
       {"devices 7, 42 never answered"}},
      {"rows, one port never opened",
       3,
       true,
       {sim, refused},
       {},
       {"9"},
       host::kReadRows,
       {"device 9 never answered", "never opened: tcp:127.0.0.1:1 (connection refused)"}},
      {"library missing",
       0,
       true,
       {Port("sim", true, 0, 0)},
       library,
       {"1"},
       host::kReadCannotRead,
       {"sent no request in 3 s", "Unable to load API library: /b/libmbus.so; /b/libmbus.so"}},
      {"inactive", 0, false, {sim}, {}, {}, host::kReadCannotRead, {"SET-STATE"}},
      {"port never opened",
       0,
       true,
       {refused},
       {},
       {"1"},
       host::kReadNoAnswer,
       {"tcp:127.0.0.1:1 never opened during the run (connection refused)"}},
      {"no port opened",
       0,
       true,
       {refused, Port("tcp:h:2", false, 0, 0)},
       {},
       {},
       host::kReadNoAnswer,
       {"no port opened during the run: tcp:127.0.0.1:1 (connection refused), tcp:h:2"}},
      {"silence",
       0,
       true,
       {Port("serial:/dev/ttyS0", true, 25, 0), refused},
       {},
       {"5"},
       host::kReadNoAnswer,
       {"no meter answered in 3 s: 25 bytes sent", "never opened: tcp"}},
      {"answers without rows",
       0,
       true,
       {sim},
       {"M-bus data parse error"},
       {},
       host::kReadNoAnswer,
       {"900 bytes received", "M-bus data parse error"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    host::TReadFacts facts;
    facts.Rows = c.Rows;
    facts.Seconds = 3.0;
    facts.Activated = c.Activated;
    facts.Ports = c.Ports;
    facts.PluginErrors = c.Errors;
    facts.SilentDevices = c.Silent;
    const auto verdict = host::JudgeRead(facts);
    EXPECT_EQ(verdict.Status, c.Status);
    std::string said = verdict.Reason;
    for (const auto& note : verdict.Notes) said += "|" + note;
    if (c.Status == host::kReadRows) {
      EXPECT_EQ(verdict.Reason, "");
    } else {
      EXPECT_TRUE(verdict.Notes.empty());
    }
    EXPECT_EQ(said.find('\n'), std::string::npos);
    for (const auto& part : c.Said) EXPECT_NE(said.find(part), std::string::npos) << said;
    if (c.Said.empty()) {
      EXPECT_EQ(said, "");
    }
    EXPECT_EQ(said.find("third"), std::string::npos) << "two error lines at most";
  }
}

// A row as the plug-in delivers it: DEVICE_ID, and the reply's bytes in
// the first row of an exchange.
host::TReceivedData Row(const std::string& id, const std::string& packet = "") {
  host::TReceivedData row;
  row.Kind = 9;
  row.Values.emplace_back("DEVICE_ID", id);
  row.Items.emplace_back(OleVariant(id));
  if (!packet.empty()) {
    row.Values.emplace_back("FULL_DATA_PACKET", "(bytes)");
    row.Items.emplace_back(OleVariant(std::string_view(packet)));
  }
  return row;
}

std::string LongFrame(std::uint8_t address) {
  return std::string("\x68\x0F\x0F\x68\x08", 5) + static_cast<char>(address) + "\x72rest";
}

TEST(DeviceTally, NamesTheDevicesNoRowAnswered) {
  const struct {
    const char* Name;
    Texts Devices;
    std::vector<host::TReceivedData> Rows;
    Texts Silent;
  } cases[] = {
      {"primary by reply address",
       {"5", "9 (boiler)", "12"},
       {Row("12345678", LongFrame(5)), Row("12345678"), Row("00000009")},
       {"9 (boiler)", "12"}},
      {"after a selection's acknowledgement", {"7"}, {Row("1", "\xE5" + LongFrame(7))}, {}},
      {"no long frame", {"7"}, {Row("1", "\xE5"), Row("1", "\x10\x5B\x07")}, {"7"}},
      {"identification numbers",
       {"12345678", "s42", "4200", "87654321"},
       {Row("12345678"), Row("00000042"), Row("00004200")},
       {"87654321"}},
      {"secondary masks",
       {"1234FFFF2C2D0407", "99999999FFFFFFFF", "ffff5678ffffffff"},
       {Row("12340001"), Row("00005678")},
       {"99999999FFFFFFFF"}},
      {"broadcast and unreadable", {"254", "not-an-address"}, {Row("1")}, {}},
      {"no rows", {"1", "s1"}, {}, {"1", "s1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    host::TDeviceTally tally(c.Devices);
    for (const auto& row : c.Rows) tally.Note(row);
    EXPECT_EQ(tally.Silent(), c.Silent);
  }
}

}  // namespace
