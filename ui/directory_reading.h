// Reading a directory for the directory and file lists, and the order in
// which they show names.
#pragma once

#include <QString>
#include <QStringList>

#include <system_error>

namespace vexo {

// Sorts names in natural order: digits compare by their numeric value, so
// "piece.2" comes before "piece.10".
void sortNaturally(QStringList& names);

// The files of a directory (names only), without hidden files and without
// anything that is not a file (devices, sockets, dangling links), sorted
// naturally. Throws RuntimeError when the directory cannot be read.
QStringList readFileNames(const QString& dir);

// The subdirectories of a directory (names only), without hidden ones,
// sorted naturally. Throws RuntimeError when the directory cannot be read.
QStringList readSubdirectories(const QString& dir);

// The runtime error number for a failure to read a directory: 71 when the
// disk is not ready (no medium, an I/O error), 76 when the path has
// vanished, 70 when it may not be entered, 75 otherwise.
int directoryErrorNumber(const std::error_code& ec);

// Paths between Qt and the file services, which take the system's bytes.
// On Linux the mapping is lossless: a name that is not well-formed UTF-8
// (Shift-JIS from an old disk) shows with replacement characters and still
// names the same file.
std::string toFsPath(const QString& path);
QString fromFsPath(const std::string& path);

}  // namespace vexo
