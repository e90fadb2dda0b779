// mbus-host's exit statuses end to end: every way a read can end without
// rows gives its own status and a one-line reason, a read with a silent
// device among answering ones ends with 0 and names it, and --version
// tells the files it would load. The runs are short: the reasons come from
// what the host sees, not from waiting.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "HostProgram.h"
#include "platform/Socket.h"

namespace {

using e2e::Args;
namespace fs = std::filesystem;

class ExitStatusEndToEnd : public e2e::HostProgramTest {
 public:
  std::string Config(const std::string& text) {
    const fs::path file = dir / "requests.xml";
    std::ofstream(file, std::ios::binary) << text;
    return file.string();
  }

  // mbus-host and the plug-in copied into a folder without the protocol
  // library: the program a new user gets when libmbus was never built.
  std::string WithoutLibrary() {
    const fs::path folder = dir / "no-library";
    fs::create_directories(folder);
    const std::string program = e2e::Beside("mbus-host");
    const std::string plugin = e2e::Beside("mbusplugin");
    const std::string pluginFile = plugin.substr(0, plugin.size() - (e2e::OnWindows() ? 4 : 0)) +
                                   (e2e::OnWindows() ? ".dll" : ".so");
    fs::copy_file(program, folder / fs::path(program).filename());
    fs::copy_file(pluginFile, folder / fs::path(pluginFile).filename());
    return (folder / fs::path(program).filename()).string();
  }

  // A loopback port nothing listens on: one the system just gave out and
  // took back.
  static std::string ClosedPort() {
    auto listener = plat::TcpListener::OpenLoopback();
    return listener ? "tcp:127.0.0.1:" + std::to_string(listener->Port()) : "tcp:127.0.0.1:1";
  }
};

struct TCase {
  const char* Name;
  // The program (empty: mbus-host beside the test) and its arguments.
  std::function<std::pair<std::string, Args>(ExitStatusEndToEnd&)> Command;
  int Status;
  std::vector<std::string> Said;     // parts of stderr
  std::vector<std::string> NotSaid;  // must not be on stderr
  bool Rows;                         // rows on stdout
};

TEST_F(ExitStatusEndToEnd, EveryEndHasItsStatusAndReason) {
  REQUIRE_MBUS_MODULE();
  const std::string reason = "mbus-host read: ";
  const TCase cases[] = {
      {"a loopback port where nothing listens",
       [](ExitStatusEndToEnd&) {
         return std::pair<std::string, Args>{
             "", {"read", "--port", ClosedPort(), "--device", "1", "--for", "2"}};
       },
       3,
       {reason + "tcp:127.0.0.1:", "never opened during the run (cannot connect"},
       {},
       false},
      {"a truncated request document",
       [](ExitStatusEndToEnd& t) {
         return std::pair<std::string, Args>{
             "", {"read", "--config", t.Config("<MBUS><Request"), "--for", "2"}};
       },
       5,
       {reason + "the request document yields no request: line 1: the tag <Request is not "
                 "closed"},
       {"rows, "},
       false},
      {"a document whose only request is off",
       [](ExitStatusEndToEnd& t) {
         return std::pair<std::string, Args>{
             "",
             {"read", "--config",
              t.Config("<MBUS>\n<Request><Enabled>0</Enabled><Device>5</Device></Request>\n"
                       "</MBUS>"),
              "--for", "2"}};
       },
       5,
       {"the request is not enabled"},
       {},
       false},
      {"no protocol library beside the plug-in",
       [](ExitStatusEndToEnd& t) {
         return std::pair<std::string, Args>{t.WithoutLibrary(),
                                             {"read", "--no-timing", "--for", "2"}};
       },
       4,
       {reason + "the plug-in sent no request in ", "Unable to load API library", "libmbus"},
       {},
       false},
      {"a meter that never answers",
       [](ExitStatusEndToEnd&) {
         return std::pair<std::string, Args>{
             "", {"read", "--no-timing", "--device", "77", "--for", "3"}};
       },
       3,
       {reason + "no meter answered in ", "bytes sent, none received"},
       {},
       false},
      {"one silent meter beside an answering one",
       [](ExitStatusEndToEnd&) {
         return std::pair<std::string, Args>{
             "", {"read", "--no-timing", "--device", "5;77", "--for", "6"}};
       },
       0,
       {reason + "device 77 never answered"},
       {"device 5", "devices"},
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto [program, args] = c.Command(*this);
    const int status = program.empty() ? Run(args) : RunFile(program, args);
    EXPECT_EQ(status, c.Status) << err;
    for (const auto& part : c.Said) EXPECT_NE(err.find(part), std::string::npos) << err;
    for (const auto& part : c.NotSaid) EXPECT_EQ(err.find(part), std::string::npos) << err;
    EXPECT_EQ(!out.empty(), c.Rows) << out;
    // The reason is one line, the last one.
    if (c.Status != 0) {
      const auto lines = e2e::Lines(err);
      ASSERT_FALSE(lines.empty());
      EXPECT_EQ(lines.back().rfind(reason, 0), 0u) << lines.back();
    }
  }
}

TEST_F(ExitStatusEndToEnd, VersionNamesThePlugInAndTheLibrary) {
  ASSERT_EQ(Run({"--version"}), 0) << err;
  const auto lines = e2e::Lines(out);
  ASSERT_EQ(lines.size(), 3u) << out;
  EXPECT_EQ(lines[0].rfind("mbus-host ", 0), 0u);
  EXPECT_EQ(lines[1].rfind("plug-in ", 0), 0u);
  EXPECT_EQ(lines[2].rfind("protocol library ", 0), 0u);
  // The plug-in's and the library's file versions are the project's.
  const std::string version = lines[0].substr(std::string("mbus-host ").size()) + ".0 (";
  if (!e2e::OnWindows()) {
    EXPECT_NE(lines[2].find(version), std::string::npos) << lines[2];
  }
  EXPECT_NE(lines[1].find(version), std::string::npos) << lines[1];
  ASSERT_EQ(RunFile(WithoutLibrary(), {"--version"}), 1);
  EXPECT_NE(out.find("protocol library: missing"), std::string::npos) << out;
}

TEST_F(ExitStatusEndToEnd, ReadHelpListsTheStatuses) {
  ASSERT_EQ(Run({"read", "--help"}), 0);
  for (const char* status : {"  0  ", "  1  ", "  2  ", "  3  ", "  4  ", "  5  "})
    EXPECT_NE(out.find(std::string("\n") + status), std::string::npos) << status << out;
}

}  // namespace
