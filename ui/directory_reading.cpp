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
  return QFile::decodeName(QByteArray::fromStdString(p.filename().native()));
#endif
}

fs::path fsPath(const QString& dir) {
#ifdef _WIN32
  return fs::path(dir.toStdWString());
#else
  return fs::path(QFile::encodeName(dir).toStdString());
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

std::string toFsPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString fromFsPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

}  // namespace vexo
