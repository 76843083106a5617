#include "directory_reading.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QFile>
#include <QLocale>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "file_services.h"
#include "system_errors.h"

namespace fs = std::filesystem;

namespace vexo {

namespace {

QString nameOf(const fs::path& p) {
#ifdef _WIN32
  return QString::fromStdWString(p.filename().native());
#else
  return fromFsPath(p.filename().native());
#endif
}

fs::path fsPath(const QString& dir) {
#ifdef _WIN32
  return fs::path(dir.toStdWString());
#else
  return fs::path(toFsPath(dir));
#endif
}

bool isHidden(const fs::directory_entry& entry, const QString& name) {
  if (name.startsWith(u'.')) return true;
#ifdef _WIN32
  const DWORD attributes = GetFileAttributesW(entry.path().c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
    return true;
#else
  (void)entry;
#endif
  return false;
}

enum class Kind { Files, Directories };

QStringList readEntries(const QString& dir, Kind kind) {
  std::error_code ec;
  fs::directory_iterator it(fsPath(dir), ec);
  if (ec) throw RuntimeError(directoryErrorNumber(ec), "read " + toFsPath(dir), {}, ec.message());
  QStringList names;
  for (const fs::directory_iterator end; it != end; it.increment(ec)) {
    if (ec) break;
    const fs::directory_entry& entry = *it;
    std::error_code typeEc;
    // The type test follows symbolic links, so a link to a file counts as a
    // file and a dangling link as neither.
    const bool wanted = kind == Kind::Files ? entry.is_regular_file(typeEc)
                                            : entry.is_directory(typeEc);
    if (!wanted) continue;
    const QString name = nameOf(entry.path());
    if (!isHidden(entry, name)) names.append(name);
  }
  if (ec) throw RuntimeError(directoryErrorNumber(ec), "read " + toFsPath(dir), {}, ec.message());
  sortNaturally(names);
  return names;
}

}  // namespace

void sortNaturally(QStringList& names) {
  // The C locale compares plain code points and knows no numeric mode, so
  // a program started without a locale sorts as in English.
  QLocale locale;
  if (locale.language() == QLocale::C) locale = QLocale(QLocale::English, QLocale::UnitedStates);
  QCollator collator(locale);
  collator.setNumericMode(true);
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  // One sort key per name keeps a directory of tens of thousands of files
  // quick; comparing through the collator would redo the work per comparison.
  std::vector<std::pair<QCollatorSortKey, qsizetype>> keys;
  keys.reserve(names.size());
  for (qsizetype i = 0; i < names.size(); ++i) keys.emplace_back(collator.sortKey(names[i]), i);
  std::stable_sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
    const int c = a.first.compare(b.first);
    // Names equal to the collator (differing only in case) keep a fixed order.
    return c != 0 ? c < 0 : names[a.second] < names[b.second];
  });
  QStringList sorted;
  sorted.reserve(names.size());
  for (const auto& k : keys) sorted.append(names[k.second]);
  names = std::move(sorted);
}

QStringList readFileNames(const QString& dir) { return readEntries(dir, Kind::Files); }

QStringList readSubdirectories(const QString& dir) { return readEntries(dir, Kind::Directories); }

int directoryErrorNumber(const std::error_code& ec) {
  if (ec.category() != std::generic_category() && ec.category() != std::system_category())
    return err::PathFileAccess;
  // The system's table; a directory that is not there is a path not found.
  const int n = errorNumberFromErrno(ec.value());
  return n == err::FileNotFound ? err::PathNotFound : n;
}

#ifdef _WIN32
std::string toFsPath(const QString& path) { return QFile::encodeName(path).toStdString(); }
#else
// A byte that is no part of well-formed UTF-8 travels as the lone surrogate
// U+DC00 + byte, as Python's surrogateescape does; it shows as a
// replacement character and turns back into the same byte.
std::string toFsPath(const QString& path) {
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(path.size()));
  for (qsizetype i = 0; i < path.size(); ++i) {
    char32_t c = path[i].unicode();
    if (c >= 0xDC80 && c <= 0xDCFF) {
      bytes += static_cast<char>(c - 0xDC00);
      continue;
    }
    if (QChar::isHighSurrogate(c) && i + 1 < path.size() && path[i + 1].isLowSurrogate()) {
      c = QChar::surrogateToUcs4(static_cast<char16_t>(c), path[i + 1].unicode());
      ++i;
    }
    if (c < 0x80) {
      bytes += static_cast<char>(c);
    } else if (c < 0x800) {
      bytes += static_cast<char>(0xC0 | (c >> 6));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      bytes += static_cast<char>(0xE0 | (c >> 12));
      bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      bytes += static_cast<char>(0xF0 | (c >> 18));
      bytes += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return bytes;
}
#endif

#ifdef _WIN32
QString fromFsPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }
#else
QString fromFsPath(const std::string& path) {
  QString text;
  text.reserve(static_cast<qsizetype>(path.size()));
  const auto* b = reinterpret_cast<const unsigned char*>(path.data());
  const std::size_t n = path.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char c = b[i];
    // The length of the sequence c starts and the least value it may hold
    // (shorter forms of a value, surrogates and values past U+10FFFF are
    // not well-formed).
    std::size_t len = 0;
    char32_t value = 0, least = 0;
    if (c < 0x80) {
      len = 1, value = c;
    } else if (c >= 0xC2 && c < 0xE0) {
      len = 2, value = c & 0x1F, least = 0x80;
    } else if (c >= 0xE0 && c < 0xF0) {
      len = 3, value = c & 0x0F, least = 0x800;
    } else if (c >= 0xF0 && c < 0xF5) {
      len = 4, value = c & 0x07, least = 0x10000;
    }
    bool ok = len != 0 && i + len <= n;
    for (std::size_t k = 1; ok && k < len; ++k) {
      if ((b[i + k] & 0xC0) != 0x80) ok = false;
      else value = (value << 6) | (b[i + k] & 0x3F);
    }
    ok = ok && value >= least && value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF);
    if (!ok) {
      text += QChar(static_cast<char16_t>(0xDC00 + c));
      ++i;
      continue;
    }
    text += QString::fromUcs4(&value, 1);
    i += len;
  }
  return text;
}
#endif

}  // namespace vexo
