// A small well-formedness check of XML 1.0 documents as the library writes
// them (a declaration, elements, attributes, text, references): what every
// XML reader insists on. Used by the libmbus tests and the XML fuzz target.
// Single-byte documents (the library declares ISO-8859-1): every byte is one
// character. Comments, processing instructions after the declaration, CDATA
// and DOCTYPE are refused, as the library writes none.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The check is no part of what a fuzz target explores: no coverage for it.
#if defined(__clang__)
#define MBUS_TEST_NO_COVERAGE __attribute__((no_sanitize("coverage")))
#else
#define MBUS_TEST_NO_COVERAGE
#endif

namespace mbus_test {

class XmlWellFormedCheck {
 public:
  explicit XmlWellFormedCheck(const std::string& doc) : doc_(doc) {}

  // Empty when well-formed; else the first fault and where it is.
  MBUS_TEST_NO_COVERAGE std::string Fault() {
    if (!Characters()) return fault_;
    SkipDeclaration();
    SkipSpace();
    if (!Element()) return fault_;
    SkipSpace();
    if (pos_ != doc_.size()) Fail("content after the root element");
    return fault_;
  }

 private:
  MBUS_TEST_NO_COVERAGE bool Fail(const char* what) {
    if (fault_.empty()) fault_ = std::string(what) + " at byte " + std::to_string(pos_);
    return false;
  }
  MBUS_TEST_NO_COVERAGE bool AtEnd() const { return pos_ >= doc_.size(); }
  MBUS_TEST_NO_COVERAGE char Peek() const { return AtEnd() ? '\0' : doc_[pos_]; }
  MBUS_TEST_NO_COVERAGE bool Starts(const char* text) const {
    return doc_.compare(pos_, std::char_traits<char>::length(text), text) == 0;
  }
  MBUS_TEST_NO_COVERAGE static bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
  }
  MBUS_TEST_NO_COVERAGE void SkipSpace() {
    while (!AtEnd() && IsSpace(Peek())) ++pos_;
  }

  MBUS_TEST_NO_COVERAGE bool Characters() {
    for (pos_ = 0; pos_ < doc_.size(); ++pos_) {
      const unsigned char c = static_cast<unsigned char>(doc_[pos_]);
      if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return Fail("no XML character");
    }
    pos_ = 0;
    return true;
  }

  MBUS_TEST_NO_COVERAGE void SkipDeclaration() {
    if (!Starts("<?xml")) return;
    const size_t end = doc_.find("?>", pos_);
    pos_ = end == std::string::npos ? doc_.size() : end + 2;
  }

  MBUS_TEST_NO_COVERAGE static bool NameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
  }
  MBUS_TEST_NO_COVERAGE static bool NameChar(char c) {
    return NameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
  }
  MBUS_TEST_NO_COVERAGE bool Name(std::string& name) {
    if (!NameStart(Peek())) return Fail("name expected");
    const size_t start = pos_;
    while (!AtEnd() && NameChar(Peek())) ++pos_;
    name = doc_.substr(start, pos_ - start);
    return true;
  }

  // After '&': a predefined entity or a character reference of an XML char.
  MBUS_TEST_NO_COVERAGE bool Reference() {
    const size_t end = doc_.find(';', pos_);
    if (end == std::string::npos || end - pos_ > 10) return Fail("unterminated reference");
    const std::string ref = doc_.substr(pos_, end - pos_);
    pos_ = end + 1;
    if (ref == "amp" || ref == "lt" || ref == "gt" || ref == "quot" || ref == "apos") return true;
    if (ref.size() < 2 || ref[0] != '#') return Fail("unknown entity");
    const bool hex = ref[1] == 'x';
    unsigned long code = 0;
    for (size_t i = hex ? 2 : 1; i < ref.size(); ++i) {
      const char c = ref[i];
      int digit = -1;
      if (c >= '0' && c <= '9') digit = c - '0';
      if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      if (digit < 0) return Fail("bad character reference");
      code = code * (hex ? 16 : 10) + static_cast<unsigned long>(digit);
      if (code > 0x10FFFF) return Fail("character reference out of range");
    }
    const bool ok = code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
                    (code >= 0xE000 && code <= 0xFFFD) || code >= 0x10000;
    return ok || Fail("character reference to no XML character");
  }

  MBUS_TEST_NO_COVERAGE bool Attributes(std::vector<std::string>& seen) {
    for (;;) {
      const size_t before = pos_;
      SkipSpace();
      if (Peek() == '>' || Peek() == '/') return true;
      if (pos_ == before) return Fail("space expected before attribute");
      std::string name;
      if (!Name(name)) return false;
      for (const std::string& other : seen)
        if (other == name) return Fail("attribute given twice");
      seen.push_back(name);
      SkipSpace();
      if (Peek() != '=') return Fail("'=' expected");
      ++pos_;
      SkipSpace();
      const char quote = Peek();
      if (quote != '"' && quote != '\'') return Fail("quoted attribute value expected");
      for (++pos_;;) {
        if (AtEnd()) return Fail("unterminated attribute value");
        const char c = doc_[pos_++];
        if (c == quote) break;
        if (c == '<') return Fail("'<' in attribute value");
        if (c == '&' && !Reference()) return false;
      }
    }
  }

  MBUS_TEST_NO_COVERAGE bool Content(const std::string& name) {
    for (;;) {
      if (AtEnd()) return Fail("element not closed");
      if (Starts("</")) {
        pos_ += 2;
        std::string end;
        if (!Name(end)) return false;
        if (end != name) return Fail("end tag does not match");
        SkipSpace();
        if (Peek() != '>') return Fail("'>' expected");
        ++pos_;
        return true;
      }
      if (Peek() == '<') {
        if (!Element()) return false;
        continue;
      }
      if (Starts("]]>")) return Fail("']]>' in text");
      const char c = doc_[pos_++];
      if (c == '&' && !Reference()) return false;
    }
  }

  MBUS_TEST_NO_COVERAGE bool Element() {
    if (++depth_ > 256) return Fail("nesting too deep");
    if (Peek() != '<') return Fail("element expected");
    ++pos_;
    if (Peek() == '!' || Peek() == '?') return Fail("markup the library does not write");
    std::string name;
    if (!Name(name)) return false;
    std::vector<std::string> seen;
    if (!Attributes(seen)) return false;
    bool ok = true;
    if (Peek() == '/') {
      if (!Starts("/>")) return Fail("'/>' expected");
      pos_ += 2;
    } else {
      ++pos_;  // '>'
      ok = Content(name);
    }
    --depth_;
    return ok;
  }

  const std::string& doc_;
  size_t pos_ = 0;
  int depth_ = 0;
  std::string fault_;
};

// Empty when `doc` is a well-formed XML document; else the first fault.
inline std::string XmlFault(const std::string& doc) {
  return XmlWellFormedCheck(doc).Fault();
}

}  // namespace mbus_test
