// INI files shared with the host: a parsed document that changes only the
// lines of the keys it is asked to change and keeps every other byte (other
// sections and keys, comments, blank lines, spacing, line ends, order), and
// the file access around it: read under the cross-process lock named after
// the file, write back by atomic replace.
//
// Text is 8-bit in the system code page and passes through unchanged.
// Section and key names compare without case (A-Z), as the system's own INI
// functions do; the first of duplicate sections or keys is the one used.
//
// Reading rules (also what the fuzz target holds the parser to):
// - a line "[name]" starts a section (the name is trimmed; text after "]"
//   is ignored); a line that starts with "[" but has no "]" is a broken
//   header whose keys belong to no section: they are never read or changed;
// - "name=value" is a key (both trimmed; a value in double quotes loses
//   them); lines starting with ";" or "#", blank lines and lines without
//   "=" are kept as they are and mean nothing; lines before the first
//   section belong to no section;
// - a leading UTF-8 byte-order mark is skipped; line ends may be CR LF or
//   LF; new lines use the document's first line end (CR LF when it has
//   none);
// - a file with NUL bytes (binary data, UTF-16) is not a settings file:
//   EIniFileError, never a guess.
// Values that a line cannot hold as they are (line breaks and other control
// characters, leading or trailing blanks, surrounding quotes, the marker
// itself) are written as "[[Text]]" followed by the value with '%' and
// those characters as %XX, and read back to the original.
//
// Not thread-safe: a document belongs to one thread; TLockedIniFile
// serialises threads and processes through the named lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/SysUtils.h"

// A settings file that cannot be read, parsed or written.
class EIniFileError : public Exception {
 public:
  using Exception::Exception;
};

class TIniDocument {
 public:
  TIniDocument() = default;
  // Raises EIniFileError for text with NUL bytes.
  explicit TIniDocument(std::string_view text);

  // The value of section/key (decoded); false when absent.
  bool ReadString(std::string_view section, std::string_view key, std::string& value) const;
  // Sets the key, adding the key or the section when missing. An empty
  // section name is refused (EIniFileError): such keys have no section.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  // True when a key was removed.
  bool DeleteKey(std::string_view section, std::string_view key);
  // Removes the section's header and keys (the first occurrence).
  bool EraseSection(std::string_view section);

  bool SectionExists(std::string_view section) const;
  std::vector<std::string> SectionNames() const;  // each once, file order
  std::vector<std::string> KeyNames(std::string_view section) const;

  std::string Text() const;
  bool Modified() const { return FModified; }

 private:
  enum class TKind : std::uint8_t { Other, Section, BrokenSection, Key };
  struct TLine {
    std::string Raw;  // with its line end
    TKind Kind = TKind::Other;
    std::string Name;        // section or key name, trimmed
    std::size_t KeyEnd = 0;  // Key: offset of '='
  };

  static TLine ParseLine(std::string raw, bool first);
  // Index of the section's header line, or npos.
  std::size_t FindSection(std::string_view section) const;
  // One past the section's last line (the next header or the end).
  std::size_t SectionEnd(std::size_t header) const;
  std::size_t FindKey(std::size_t header, std::string_view key) const;
  void EnsureLineEnd(std::size_t index);

  std::vector<TLine> FLines;
  std::string FEol = "\r\n";
  bool FModified = false;
};

// Value coding of one line (see above).
std::string EncodeIniValue(std::string_view value);
std::string DecodeIniValue(std::string_view stored);

// Numbers as INI text: integers in decimal (read also "$1F" and "0x1F"),
// floating point with "." (read with "." or ","). False when text is no
// number.
bool ParseIniInteger(std::string_view text, std::int64_t& value);
bool ParseIniFloat(std::string_view text, double& value);
std::string FormatIniFloat(double value);

// The name of the cross-process lock of a settings file: the path in lower
// case with every character but 0-9 and a-z turned into "_".
std::string IniLockName(std::string_view path);

// Largest settings file read (bigger ones raise EIniFileError).
inline constexpr std::uint64_t kMaxIniFileSize = 16u << 20;

// One operation on a settings file (params/SharedFiles.h): under the file's
// in-process and named locks, reads the file (a missing file is an empty
// document), runs the action, and when the action changed the document
// replaces the file atomically. Raises
// EIniFileError when the lock, the read or the write fails; the file is
// then as it was.
void UpdateIniFile(const std::string& path, const std::function<void(TIniDocument&)>& action);
