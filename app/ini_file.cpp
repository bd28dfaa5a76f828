// INI reading and atomic rewriting; see ini_file.h for the contract.
#include "ini_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

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

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
// A save writes "<file>.saving-XXXXXX" (mkstemp fills in the X) and renames
// it over the file.
constexpr char kTemporaryMark[] = ".saving-";
constexpr std::size_t kTemporaryRandom = 6;

enum class ReadOutcome {
  Missing,     // no such file: every key has its default, a write creates it
  Read,        // the whole file is in content
  Truncated,   // content holds the complete lines of the first kMaxFileSize bytes
  Unreadable,  // not a regular file, or an error: every key has its default
};

// Reads the file without ever blocking: the open is non-blocking and
// whatever is not a regular file (a directory, a FIFO, a device) is refused
// before the first read.
ReadOutcome ReadAll(const std::string& fileName, std::string& content) {
  content.clear();
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? ReadOutcome::Missing : ReadOutcome::Unreadable;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return ReadOutcome::Unreadable;
  }
  // One byte more than the limit tells a file of exactly the limit from a
  // longer one.
  content.resize(TIniFile::kMaxFileSize + 1);
  std::size_t got = 0;
  while (got < content.size()) {
    const ssize_t n = ::read(fd, content.data() + got, content.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      content.clear();
      return ReadOutcome::Unreadable;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  if (got <= TIniFile::kMaxFileSize) {
    content.resize(got);
    return ReadOutcome::Read;
  }
  // A line cut by the limit would give a key a value it does not have.
  const std::size_t lastEnd = content.rfind('\n', TIniFile::kMaxFileSize - 1);
  content.resize(lastEnd == std::string::npos ? 0 : lastEnd + 1);
  return ReadOutcome::Truncated;
}

void SplitLines(const std::string& content, std::vector<std::string>& lines, bool& crlf,
                bool& bom) {
  lines.clear();
  crlf = false;
  bom = content.compare(0, 3, kByteOrderMark) == 0;
  std::size_t start = bom ? 3 : 0;
  while (start < content.size()) {
    std::size_t nl = content.find('\n', start);
    std::size_t end = nl == std::string::npos ? content.size() : nl;
    std::size_t textEnd = end;
    if (textEnd > start && content[textEnd - 1] == '\r') {
      --textEnd;
      if (lines.empty()) crlf = true;
    }
    lines.emplace_back(content, start, textEnd - start);
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
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

std::string BaseOf(const std::string& fileName) {
  std::size_t slash = fileName.rfind('/');
  return slash == std::string::npos ? fileName : fileName.substr(slash + 1);
}

// The file a save replaces: the settings file itself, or the final target
// of the symbolic links it is, so that the links stay links.  Nothing for
// a loop of links.
std::optional<std::string> WriteTarget(const std::string& fileName) {
  std::string path = fileName;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::vector<char> link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= link.size()) return std::nullopt;
    const std::string to(link.data(), static_cast<std::size_t>(n));
    path = to.front() == '/' ? to : FolderOf(path) + "/" + to;
  }
  return std::nullopt;
}

void RemoveTemporariesOf(const std::string& target) {
  const std::string prefix = BaseOf(target) + kTemporaryMark;
  DIR* dir = ::opendir(FolderOf(target).c_str());
  if (dir == nullptr) return;
  const uid_t me = ::geteuid();
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() != prefix.size() + kTemporaryRandom ||
        name.compare(0, prefix.size(), prefix) != 0)
      continue;
    // Only a file of our own making: a regular file of ours, not a link.
    struct stat st {};
    if (::fstatat(::dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(st.st_mode) || st.st_uid != me) continue;
    ::unlinkat(::dirfd(dir), name.c_str(), 0);
  }
  ::closedir(dir);
}

// Replaces the file by content: temporary file beside it, flushed, renamed.
bool ReplaceFile(const std::string& fileName, const std::string& content) {
  const std::optional<std::string> target = WriteTarget(fileName);
  if (!target) return false;
  RemoveTemporariesOf(*target);
  // The password is in there: never more readable than by its owner, even
  // if the file was.
  const mode_t privateMode = S_IRUSR | S_IWUSR;
  mode_t mode = privateMode;
  struct stat st {};
  if (::stat(target->c_str(), &st) == 0) mode = st.st_mode & privateMode;

  std::string tmpl = *target + kTemporaryMark + std::string(kTemporaryRandom, 'X');
  std::vector<char> path(tmpl.begin(), tmpl.end());
  path.push_back('\0');
  const int fd = ::mkstemp(path.data());  // created 0600
  if (fd < 0) return false;
  bool ok = (mode == privateMode || ::fchmod(fd, mode) == 0) && WriteFully(fd, content) &&
            ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(path.data(), target->c_str()) == 0;
  if (!ok) {
    ::unlink(path.data());
    return false;
  }
  // The rename itself must reach the disk too before we report success.
  int dir = ::open(FolderOf(*target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

}  // namespace

TIniContent TIniFile::Read() const {
  TIniContent result;
  std::string content;
  switch (ReadAll(FFileName, content)) {
    case ReadOutcome::Missing:
    case ReadOutcome::Unreadable:
      break;
    case ReadOutcome::Read:
    case ReadOutcome::Truncated: {
      bool crlf = false;
      bool bom = false;
      SplitLines(content, result.FLines, crlf, bom);
      break;
    }
  }
  return result;
}

std::string TIniContent::ReadString(const std::string& Section, const std::string& Key,
                                    const std::string& Default) const {
  bool inSection = false;
  for (const std::string& line : FLines) {
    if (auto section = SectionOf(line)) {
      inSection = SameName(*section, Section);
      continue;
    }
    if (!inSection) continue;
    auto key = KeyOf(line);
    if (key && SameName(*key, Key)) {
      std::string value = ValueOf(line);
      if (value.size() > TIniFile::kMaxValueLength) value.resize(TIniFile::kMaxValueLength);
      return value;
    }
  }
  return Default;
}

void TIniFile::RemoveStaleTemporaries() const {
  if (const std::optional<std::string> target = WriteTarget(FFileName))
    RemoveTemporariesOf(*target);
}

void TIniFile::WriteString(const std::string& Section, const std::string& Key,
                           const std::string& Value) {
  if (HasLineBreakOrZero(Section) || HasLineBreakOrZero(Key) || HasLineBreakOrZero(Value) ||
      Trim(Key).empty() || Key.find('=') != std::string::npos)
    throw EIniFileException("Unable to write to " + FFileName);

  // Rewriting a file that could not be read in full would lose what was not
  // read.
  std::string content;
  switch (ReadAll(FFileName, content)) {
    case ReadOutcome::Missing:
    case ReadOutcome::Read:
      break;
    case ReadOutcome::Truncated:
    case ReadOutcome::Unreadable:
      throw EIniFileException("Unable to write to " + FFileName);
  }
  bool crlf = false;
  bool bom = false;
  std::vector<std::string> lines;
  SplitLines(content, lines, crlf, bom);
  const std::string newLine = Key + "=" + Value;

  // Find the section, the key inside it, and the last non-blank line of the
  // section (where a new key goes, so that blank separators stay below it).
  std::optional<std::size_t> sectionAt;
  std::optional<std::size_t> keyAt;
  std::size_t insertAt = lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (auto section = SectionOf(lines[i])) {
      if (sectionAt && !keyAt) break;  // end of our section
      if (!sectionAt && SameName(*section, Section)) {
        sectionAt = i;
        insertAt = i + 1;
      }
      continue;
    }
    if (!sectionAt || keyAt) continue;
    if (!Trim(lines[i]).empty()) insertAt = i + 1;
    auto key = KeyOf(lines[i]);
    if (key && SameName(*key, Key)) keyAt = i;
  }

  if (keyAt) {
    lines[*keyAt] = newLine;
  } else if (sectionAt) {
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), newLine);
  } else {
    if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
    lines.push_back("[" + Section + "]");
    lines.push_back(newLine);
  }

  const char* end = crlf ? "\r\n" : "\n";
  std::string out = bom ? kByteOrderMark : "";
  for (const std::string& line : lines) out += line + end;
  if (!ReplaceFile(FFileName, out)) throw EIniFileException("Unable to write to " + FFileName);
}

std::string SettingsFileNameFor(const std::string& executablePath) {
  std::size_t keep = executablePath.size() >= 4 ? executablePath.size() - 4 : 0;
  return executablePath.substr(0, keep) + ".ini";
}
