// File services the engine works through: files by number, block reads with
// the end-of-file rule, lengths, date-times, attributes, delete and the
// current directory. Every failure is thrown as a RuntimeError carrying the
// runtime error number the user sees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace vexo {

// Runtime error numbers. 53, 68 and 71 are the ones the program acts on;
// the others are only shown to the user.
namespace err {
inline constexpr int BadFileNameOrNumber = 52;
inline constexpr int FileNotFound = 53;
inline constexpr int BadFileMode = 54;
inline constexpr int FileAlreadyOpen = 55;
inline constexpr int DeviceIO = 57;
inline constexpr int FileAlreadyExists = 58;
inline constexpr int DiskFull = 61;
inline constexpr int TooManyFiles = 67;
inline constexpr int DeviceUnavailable = 68;
inline constexpr int PermissionDenied = 70;
inline constexpr int DiskNotReady = 71;
inline constexpr int PathFileAccess = 75;
inline constexpr int PathNotFound = 76;
}  // namespace err

class RuntimeError : public std::runtime_error {
 public:
  explicit RuntimeError(int number, const std::string& what = {}, const std::string& file = {});
  int number() const noexcept { return number_; }
  // The name of the file the failure concerns, when it is known.
  const std::string& file() const noexcept { return file_; }

 private:
  int number_;
  std::string file_;
};

// A file's last-modified time as the file system keeps it: seconds since
// 1970-01-01 00:00:00 UTC and the nanoseconds within that second (100 ns
// steps on Windows). Carried as it is, never through local time, so that a
// copy gets the very same instant, across a daylight-saving change too.
struct FileDateTime {
  std::int64_t seconds = 0;
  std::int32_t nanoseconds = 0;
  friend bool operator==(const FileDateTime&, const FileDateTime&) = default;
};

// The instant a local calendar date and time (whole seconds) names in the
// local time zone, as the system converts it.
FileDateTime localDateTime(int year, int month, int day, int hour, int minute, int second);

// Attribute bits as the file system reports them. On POSIX these are the
// permission bits (st_mode & 07777); on Windows the FILE_ATTRIBUTE_* bits.
using FileAttributes = std::uint32_t;

// Identity of an existing file (device and inode, or volume and file index),
// so that two names of the same file can be recognised.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// What the file system says of an open file, to tell whether it changed.
struct FileState {
  std::int64_t size = 0;
  FileDateTime modified;
  FileDateTime changed;  // the status-change time where the system keeps one
  FileIdentity identity;
  friend bool operator==(const FileState&, const FileState&) = default;
};

// What a name is in the directory.
enum class FileKind {
  Missing,    // no such name (also a name the file system refuses as too long)
  Regular,    // an ordinary file
  Directory,
  Link,       // a symbolic link (only when links are not followed)
  Other,      // a FIFO, a device, a socket
};

class FileServices {
 public:
  virtual ~FileServices() = default;

  // Lowest file number not in use (1, 2, ...).
  virtual int freeFile() = 0;
  // Opens an existing file for binary reading at position 1 (53 if absent).
  // A name that is not a regular file, or a link to one, is refused
  // without waiting on it.
  virtual void openRead(const std::string& name, int f) = 0;
  // Opens a file for binary writing at position 1, creating it when absent.
  // With truncate the file is shortened to zero length on opening. Never
  // opens through a symbolic link, and refuses a name that is not a regular
  // file, without waiting on a FIFO.
  virtual void openWrite(const std::string& name, int f, bool truncate) = 0;
  // Creates a new, empty regular file for writing, readable and writable by
  // its owner only: 58 when the name exists in any form (a link too).
  virtual void createNew(const std::string& name, int f) = 0;
  // Shortens a file open for writing to zero length; the position goes back to 1.
  virtual void truncate(int f) = 0;
  // Reads len bytes into buf from the current position, or from the 1-based
  // position pos when given. Returns the number of bytes read. A read that
  // cannot fill all len bytes sets the end-of-file condition; one that ends
  // exactly on the last byte leaves it false. The position advances by the
  // bytes read.
  virtual std::size_t read(int f, char* buf, std::size_t len,
                           std::optional<std::int64_t> pos = std::nullopt) = 0;
  virtual bool eof(int f) = 0;
  // 1-based position of the next byte (length + 1 at the end).
  virtual std::int64_t loc(int f) = 0;
  // Writes all len bytes at the current position.
  virtual void write(int f, const char* buf, std::size_t len) = 0;
  // Moves consecutive blocks of the given lengths from src to dst, as a read
  // of each block followed, when it was whole, by a write of it would: the
  // first block from the current position of src, or from the 1-based
  // position pos, in which case every block is read at its own explicit
  // position. Stops at the first block that falls short; that block is not
  // written and the end-of-file condition of src is set. Returns the bytes
  // the blocks found in src: the sum of the lengths when all were whole.
  // buffer is scratch space at least as long as the longest block; one
  // longer lets an implementation move several blocks with one read and one
  // write. Callers use it for blocks that lie wholly within src as far as
  // they know. This implementation reads and writes block by block.
  // With crc given, the bytes written extend it (see crc32.h).
  virtual std::int64_t copyBlocks(int src, int dst, std::span<const std::size_t> lengths,
                                  std::span<char> buffer, std::optional<std::int64_t> pos = std::nullopt,
                                  std::uint32_t* crc = nullptr);
  // Makes what was written to an open file durable: it survives a power
  // cut once this returns. A file that is put in place by renaming is
  // flushed first, or a crash could leave its new name on a short file.
  virtual void flush(int f) = 0;
  // Says that an open file will be flushed before it is closed: what is
  // written to it may go to the disk as it comes, so that the flush finds
  // little left to wait for and progress keeps up with the disk, even on
  // slow media. Only a hint.
  virtual void writeBehind(int f) { (void)f; }
  virtual void close(int f) = 0;
  virtual void closeAll() = 0;

  // Length, times and identity of an open file, as the file system has them now.
  virtual FileState openFileState(int f) = 0;

  virtual std::int64_t fileLen(const std::string& name) = 0;
  virtual FileDateTime fileDateTime(const std::string& name) = 0;
  virtual FileAttributes getAttr(const std::string& name) = 0;
  // Sets the attribute bits without following a link. On POSIX only the
  // permission bits (0777) are set: never set-user-ID, set-group-ID, sticky.
  virtual void setAttr(const std::string& name, FileAttributes attributes) = 0;
  virtual void kill(const std::string& name) = 0;
  // Identity of an existing file, or nothing when the name names no file.
  virtual std::optional<FileIdentity> identity(const std::string& name) = 0;

  // What the name is; with followLinks a link counts as what it leads to.
  virtual FileKind kind(const std::string& name, bool followLinks) = 0;
  // Renames a file, replacing one of the new name in one step (an existing
  // file is there whole, old or new, whatever happens).
  virtual void replace(const std::string& from, const std::string& to) = 0;
  // Bytes this user may still write on the file system of the current
  // directory; nothing when that cannot be told.
  virtual std::optional<std::int64_t> freeSpace() = 0;
  // Names of the entries of the current directory ("." and ".." left out).
  virtual std::vector<std::string> listDirectory() = 0;

  // Opens the existing file for writing, sets only its last-write time to
  // the instant given, and closes it. Returns false when the file cannot
  // be opened (or is not a regular file: links are not followed); other
  // failures are ignored.
  virtual bool setFileDateTime(const std::string& name, const FileDateTime& dt) = 0;

  virtual std::string curDir() = 0;
  virtual void chDir(const std::string& path) = 0;
  // Makes a drive current. A drive is a drive letter ("C:") on Windows and
  // a mount point elsewhere; each drive keeps its own current directory.
  // 68 when the drive is missing or cannot be entered, 71 when it is present
  // but not ready.
  virtual void chDrive(const std::string& drive) = 0;
};

// The file services of the machine the program runs on.
std::unique_ptr<FileServices> makeSystemFileServices();

}  // namespace vexo
