// The plug-in's message texts: the eighteen English texts, the tag the
// translator knows them by, formatting, translation once and past a failing
// text, and workers reading while the texts are translated.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "params/PluginDM_TextResources.h"

namespace {

// Upper-cases ASCII and tags the text with the language list; refuses the
// texts listed in FailOn.
class TFakeTranslator : public ITextTranslator {
 public:
  std::u16string TranslateText(std::u16string_view text, const std::string& languages) override {
    ++Calls;
    for (const std::u16string& bad : FailOn)
      if (text == bad) throw std::runtime_error("no translation");
    std::u16string out(languages.begin(), languages.end());
    out += u":";
    for (char16_t c : text)
      out.push_back(c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c);
    return out;
  }
  std::vector<std::u16string> FailOn;
  int Calls = 0;
};

}  // namespace

TEST(TextResources, EighteenEnglishTextsAndTheTranslatorTag) {
  TComponent owner(nullptr);
  auto* texts = new TTextResources(&owner);  // freed by its owner
  EXPECT_EQ(texts->Tag, 9997);
  EXPECT_EQ(texts->Owner(), &owner);
  EXPECT_EQ(texts->TextCount(), 18u);
  EXPECT_FALSE(texts->TextsTranslated());
  EXPECT_EQ(texts->MsgUnableToLoadConfig(), "Unable to load configuration");
  EXPECT_EQ(texts->MsgRequestTimeout(), "Request timeout (ms)");
  EXPECT_EQ(texts->MsgDeviceAddress(), "Device address");
  EXPECT_EQ(texts->MsgCheckingAddress(), "Checking address");
  EXPECT_EQ(texts->MsgFoundDeviceAt(), "Found a M-bus device at address");
  EXPECT_EQ(texts->MsgGatewayConnectFailed(), "Failed to setup connection to M-bus gateway");
  EXPECT_EQ(texts->MsgMaskMatchesMany(), "The address mask [%s] matches more than one device.");
  EXPECT_EQ(texts->MsgSecondaryNoMatch(),
            "The selected secondary address does not match any device [%s].");
  EXPECT_EQ(texts->MsgSelectSecondaryFailed(), "Failed to select secondary address [%s].");
  EXPECT_EQ(texts->MsgSendFrameFailed(), "Failed to send M-bus request frame.");
  EXPECT_EQ(texts->MsgReceiveFrameFailed(), "Failed to receive M-bus response frame");
  EXPECT_EQ(texts->MsgDataParseError(), "M-bus data parse error");
  EXPECT_EQ(texts->MsgSendReceiveFailed(), "Failed to send/receive M-bus request.");
  EXPECT_EQ(texts->MsgDecodeValuesFailed(), "Failed to decode data values of M-bus frame");
  EXPECT_EQ(texts->MsgScanPingFailed(), "Scan failed. Could not send ping frame");
  EXPECT_EQ(texts->MsgCollisionAt(), "Collision at address");
  EXPECT_EQ(texts->MsgApiLibraryLoadFailed(), "Unable to load API library");
  EXPECT_EQ(texts->MsgFound(), "Found");
  EXPECT_EQ(texts->Text(18), "");  // no such text
}

TEST(TextResources, FormattingPutsTheArgumentInPlace) {
  TTextResources texts;
  EXPECT_EQ(TTextResources::FormatText(texts.MsgMaskMatchesMany(), "1234FFFF"),
            "The address mask [1234FFFF] matches more than one device.");
  EXPECT_EQ(TTextResources::FormatText(texts.MsgSelectSecondaryFailed(), "%s"),
            "Failed to select secondary address [%s].");
  // A text without a placeholder comes back as it is.
  EXPECT_EQ(TTextResources::FormatText(texts.MsgFound(), "3"), "Found");
}

TEST(TextResources, TranslatedOnceTheFirstLanguageStays) {
  TTextResources texts;
  TFakeTranslator translator;
  texts.TranslateTexts(translator, "DE");
  EXPECT_TRUE(texts.TextsTranslated());
  EXPECT_EQ(texts.MsgFound(), "DE:FOUND");
  EXPECT_EQ(translator.Calls, 18);
  texts.TranslateTexts(translator, "FR");
  EXPECT_EQ(texts.MsgFound(), "DE:FOUND");
  EXPECT_EQ(translator.Calls, 18);
}

TEST(TextResources, AFailingTextKeepsItsEnglishAndTheRestGoOn) {
  TTextResources texts;
  TFakeTranslator translator;
  translator.FailOn = {u"Device address", u"Found"};  // the third and the last
  texts.TranslateTexts(translator, "DE");
  EXPECT_EQ(texts.MsgDeviceAddress(), "Device address");
  EXPECT_EQ(texts.MsgFound(), "Found");
  EXPECT_EQ(texts.MsgCheckingAddress(), "DE:CHECKING ADDRESS");
  EXPECT_EQ(texts.MsgUnableToLoadConfig(), "DE:UNABLE TO LOAD CONFIGURATION");
  EXPECT_EQ(translator.Calls, 18);
}

TEST(TextResources, NonAsciiTextsGoThroughUtf16AndBack) {
  class TUmlaut : public ITextTranslator {
   public:
    std::u16string TranslateText(std::u16string_view, const std::string&) override {
      return u"Gefunden \u00E4";
    }
  } translator;
  TTextResources texts;
  texts.TranslateTexts(translator, "DE");
  EXPECT_EQ(texts.MsgFound(), "Gefunden \xE4");  // the system code page
}

TEST(TextResourcesConcurrency, WorkersReadWhileTheModuleIsTranslated) {
  TTextResources texts;
  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  std::vector<std::thread> readers;
  readers.reserve(3);
  for (int i = 0; i < 3; ++i) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        const std::string text = texts.MsgSendReceiveFailed();
        if (text != "Failed to send/receive M-bus request." &&
            text != "DE:FAILED TO SEND/RECEIVE M-BUS REQUEST.")
          ++torn;
      }
    });
  }
  TFakeTranslator translator;
  texts.TranslateTexts(translator, "DE");
  stop.store(true);
  for (std::thread& reader : readers) reader.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(texts.MsgSendReceiveFailed(), "DE:FAILED TO SEND/RECEIVE M-BUS REQUEST.");
}
