// INI reading and atomic rewriting; see ini_file.h for the contract.
#include "ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <vector>

namespace {

struct Line {
  std::string text;  // without its line end
};

std::string Trim(const std::string& s) {
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The section named by a "[Name]" line, if the line is a header.
std::optional<std::string> SectionOf(const std::string& line) {
  std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return std::nullopt;
  std::size_t close = t.find(']');
  if (close == std::string::npos) return std::nullopt;
  return Trim(t.substr(1, close - 1));
}

// The key of a "Key=Value" line, if the line is one.
std::optional<std::string> KeyOf(const std::string& line) {
  std::string t = Trim(line);
  if (t.empty() || t.front() == ';') return std::nullopt;
  std::size_t eq = t.find('=');
  if (eq == std::string::npos) return std::nullopt;
  return Trim(t.substr(0, eq));
}

std::string ValueOf(const std::string& line) {
  std::string v = Trim(line.substr(line.find('=') + 1));
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return v;
}

bool ReadAll(const std::string& fileName, std::string& content) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return false;
  content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

std::vector<Line> SplitLines(const std::string& content, bool& crlf) {
  std::vector<Line> lines;
  crlf = false;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t nl = content.find('\n', start);
    std::size_t end = nl == std::string::npos ? content.size() : nl;
    std::size_t textEnd = end;
    if (textEnd > start && content[textEnd - 1] == '\r') {
      --textEnd;
      if (lines.empty()) crlf = true;
    }
    lines.push_back({content.substr(start, textEnd - start)});
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return lines;
}

bool HasLineBreakOrZero(const std::string& s) {
  return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

bool WriteFully(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string FolderOf(const std::string& fileName) {
  std::size_t slash = fileName.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return fileName.substr(0, slash);
}

// Replaces fileName by content: temporary file beside it, flushed, renamed.
bool ReplaceFile(const std::string& fileName, const std::string& content) {
  mode_t mode = S_IRUSR | S_IWUSR;
  struct stat st {};
  if (::stat(fileName.c_str(), &st) == 0) mode = st.st_mode & 07777;

  std::string tmpl = fileName + ".XXXXXX";
  std::vector<char> path(tmpl.begin(), tmpl.end());
  path.push_back('\0');
  int fd = ::mkstemp(path.data());
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, mode) == 0 && WriteFully(fd, content) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(path.data(), fileName.c_str()) == 0;
  if (!ok) {
    ::unlink(path.data());
    return false;
  }
  // The rename itself must reach the disk too before we report success.
  int dir = ::open(FolderOf(fileName).c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

}  // namespace

std::string TIniFile::ReadString(const std::string& Section, const std::string& Key,
                                 const std::string& Default) const {
  std::string content;
  if (!ReadAll(FFileName, content)) return Default;
  bool crlf = false;
  bool inSection = false;
  for (const Line& line : SplitLines(content, crlf)) {
    if (auto section = SectionOf(line.text)) {
      inSection = SameName(*section, Section);
      continue;
    }
    if (!inSection) continue;
    auto key = KeyOf(line.text);
    if (key && SameName(*key, Key)) {
      std::string value = ValueOf(line.text);
      if (value.size() > kMaxValueLength) value.resize(kMaxValueLength);
      return value;
    }
  }
  return Default;
}

void TIniFile::WriteString(const std::string& Section, const std::string& Key,
                           const std::string& Value) {
  if (HasLineBreakOrZero(Section) || HasLineBreakOrZero(Key) || HasLineBreakOrZero(Value) ||
      Trim(Key).empty() || Key.find('=') != std::string::npos)
    throw EIniFileException("Unable to write to " + FFileName);

  std::string content;
  if (!ReadAll(FFileName, content)) content.clear();
  bool crlf = false;
  std::vector<Line> lines = SplitLines(content, crlf);
  const std::string newLine = Key + "=" + Value;

  // Find the section, the key inside it, and the last non-blank line of the
  // section (where a new key goes, so that blank separators stay below it).
  std::optional<std::size_t> sectionAt;
  std::optional<std::size_t> keyAt;
  std::size_t insertAt = lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (auto section = SectionOf(lines[i].text)) {
      if (sectionAt && !keyAt) break;  // end of our section
      if (!sectionAt && SameName(*section, Section)) {
        sectionAt = i;
        insertAt = i + 1;
      }
      continue;
    }
    if (!sectionAt || keyAt) continue;
    if (!Trim(lines[i].text).empty()) insertAt = i + 1;
    auto key = KeyOf(lines[i].text);
    if (key && SameName(*key, Key)) keyAt = i;
  }

  if (keyAt) {
    lines[*keyAt].text = newLine;
  } else if (sectionAt) {
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), Line{newLine});
  } else {
    if (!lines.empty() && !Trim(lines.back().text).empty()) lines.push_back({""});
    lines.push_back({"[" + Section + "]"});
    lines.push_back({newLine});
  }

  const char* end = crlf ? "\r\n" : "\n";
  std::string out;
  for (const Line& line : lines) out += line.text + end;
  if (!ReplaceFile(FFileName, out)) throw EIniFileException("Unable to write to " + FFileName);
}

std::string SettingsFileNameFor(const std::string& executablePath) {
  std::size_t keep = executablePath.size() >= 4 ? executablePath.size() - 4 : 0;
  return executablePath.substr(0, keep) + ".ini";
}
