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
  explicit RuntimeError(int number, const std::string& what = {}, const std::string& file = {},
                        const std::string& reason = {});
  int number() const noexcept { return number_; }
  // The name of the file the failure concerns, when it is known.
  const std::string& file() const noexcept { return file_; }
  // The system's own words for the failure (strerror, FormatMessageW), when
  // the system reported it.
  const std::string& reason() const noexcept { return reason_; }

 private:
  int number_;
  std::string file_;
  std::string reason_;
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
  // Says that an open file will be flushed before it is closed and will
  // take about `length` more bytes: their space may be set aside at once
  // (the file's length stays what is written), and what is written may go
  // to the disk as it comes, so that the flush finds little left to wait
  // for and progress keeps up with the disk, even on slow media. Only a
  // hint.
  virtual void writeBehind(int f, std::int64_t length) {
    (void)f;
    (void)length;
  }
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
  // Removes a file. The callers remove only their own files and files the
  // user agreed to remove, so a read-only one goes too (Windows clears the
  // bit first; on POSIX the bits never stood in the way).
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

  // Folders a request works in. A request opens the folders it reads from
  // and writes to from the paths the window shows, and every name it gives
  // afterwards resolves against the folder selected, never against the
  // current directory: a folder renamed meanwhile (and another one made
  // under its name) does not change where the names go. openFolder returns
  // a folder number (1, 2, ...); an empty path is the current directory;
  // 76 when the path names no folder.
  virtual int openFolder(const std::string& path) = 0;
  // Closes a folder; when it was selected, names resolve against the
  // current directory again.
  virtual void closeFolder(int d) = 0;
  // Names given from now on resolve against folder d (0: the current directory).
  virtual void selectFolder(int d) = 0;
  // Makes the names made and removed in the selected folder so far durable.
  virtual void syncFolder() = 0;
  // Whether this user may make and remove files in the selected folder.
  virtual bool folderWritable() = 0;

  // Creates a new file exclusively (58 when the name exists in any form, a
  // link too) for writing as file f, with at most the permission bits of
  // mode from the moment it exists (POSIX; Windows has no such bits).
  virtual void createExclusive(const std::string& name, int f, FileAttributes mode) = 0;
  // Creates a new file in the selected folder for writing as file f, with at
  // most the permission bits of mode, that has no name yet: unnamed where
  // the file system allows it, so that a kill leaves nothing, else under a
  // hidden name (".vexo-N.tmp") that is held so that removeLeftovers() of a
  // later request can tell an abandoned one from one in use. Closing it
  // before it is named removes it. Failures name the file it is to become.
  virtual void createTemporary(int f, FileAttributes mode, const std::string& becomes) = 0;
  // Gives the temporary open as file f its name in the folder it was made
  // in; it stays open as f. Without replace, a file of that name (one that
  // appeared after any check) is never replaced: 58. With replace, an
  // existing file of that name is replaced in one step (never written
  // through: a hard link's other names keep their file).
  virtual void nameTemporary(int f, const std::string& name, bool replace) = 0;
  // Removes the hidden temporary files that requests killed in the selected
  // folder left behind (none that a running request holds); returns the
  // bytes they held.
  virtual std::int64_t removeLeftovers() = 0;
  // setFileDateTime and setAttr for a file open for writing as f.
  virtual bool stampOpen(int f, const FileDateTime& dt) = 0;
  virtual void setAttrOpen(int f, FileAttributes attributes) = 0;
  // Whether names that differ only in letter case name the same file.
  virtual bool namesIgnoreCase() { return false; }
  // Why the file system cannot hold a name as given ("" when it can): on
  // Windows a trailing dot or space is dropped, a device name (CON, NUL,
  // COM1 ...) opens the device and a colon names a stream of another file.
  virtual std::string nameProblem(const std::string& name) {
    (void)name;
    return {};
  }
  // The bits a piece or a set's record takes from its source: the ones that
  // would hide the set from the file list (hidden, system) stay with the
  // joined file.
  virtual FileAttributes pieceAttributes(FileAttributes source) { return source; }
  // Those bits of a source its pieces do not take, in words for the set's
  // record ("hidden", "system", separated by commas; "" for none), and the
  // bits of a joined file with them given back.
  virtual std::string setAsideAttributes(FileAttributes source) {
    (void)source;
    return {};
  }
  virtual FileAttributes withSetAside(FileAttributes bits, const std::string& words) {
    (void)words;
    return bits;
  }

  virtual std::string curDir() = 0;
  virtual void chDir(const std::string& path) = 0;
  // Makes a drive current. A drive is a drive letter ("C:") on Windows and
  // a mount point elsewhere; each drive keeps its own current directory.
  // 68 when the drive is missing or cannot be entered, 71 when it is present
  // but not ready.
  virtual void chDrive(const std::string& drive) = 0;
};

// The file services seen from one folder opened with openFolder(): every
// name resolves against that folder. File numbers are those of the services
// it looks through, so a file opened through one view can be copied to a
// file opened through another.
class FolderView final : public FileServices {
 public:
  FolderView(FileServices& fs, int folder) : fs_(fs), d_(folder) {}
  int folder() const { return d_; }

  int freeFile() override { return fs_.freeFile(); }
  void openRead(const std::string& name, int f) override { in().openRead(name, f); }
  void openWrite(const std::string& name, int f, bool truncate) override { in().openWrite(name, f, truncate); }
  void createNew(const std::string& name, int f) override { in().createNew(name, f); }
  void truncate(int f) override { fs_.truncate(f); }
  std::size_t read(int f, char* buf, std::size_t len, std::optional<std::int64_t> pos = std::nullopt) override {
    return fs_.read(f, buf, len, pos);
  }
  bool eof(int f) override { return fs_.eof(f); }
  std::int64_t loc(int f) override { return fs_.loc(f); }
  void write(int f, const char* buf, std::size_t len) override { fs_.write(f, buf, len); }
  std::int64_t copyBlocks(int src, int dst, std::span<const std::size_t> lengths, std::span<char> buffer,
                          std::optional<std::int64_t> pos = std::nullopt, std::uint32_t* crc = nullptr) override {
    return fs_.copyBlocks(src, dst, lengths, buffer, pos, crc);
  }
  void flush(int f) override { fs_.flush(f); }
  void writeBehind(int f, std::int64_t length) override { fs_.writeBehind(f, length); }
  void close(int f) override { fs_.close(f); }
  void closeAll() override { fs_.closeAll(); }
  FileState openFileState(int f) override { return fs_.openFileState(f); }
  std::int64_t fileLen(const std::string& name) override { return in().fileLen(name); }
  FileDateTime fileDateTime(const std::string& name) override { return in().fileDateTime(name); }
  FileAttributes getAttr(const std::string& name) override { return in().getAttr(name); }
  void setAttr(const std::string& name, FileAttributes attributes) override { in().setAttr(name, attributes); }
  void kill(const std::string& name) override { in().kill(name); }
  std::optional<FileIdentity> identity(const std::string& name) override { return in().identity(name); }
  FileKind kind(const std::string& name, bool followLinks) override { return in().kind(name, followLinks); }
  void replace(const std::string& from, const std::string& to) override { in().replace(from, to); }
  std::optional<std::int64_t> freeSpace() override { return in().freeSpace(); }
  std::vector<std::string> listDirectory() override { return in().listDirectory(); }
  bool setFileDateTime(const std::string& name, const FileDateTime& dt) override {
    return in().setFileDateTime(name, dt);
  }
  int openFolder(const std::string& path) override { return fs_.openFolder(path); }
  void closeFolder(int d) override { fs_.closeFolder(d); }
  void selectFolder(int d) override { fs_.selectFolder(d); }
  void syncFolder() override { in().syncFolder(); }
  bool folderWritable() override { return in().folderWritable(); }
  void createExclusive(const std::string& name, int f, FileAttributes mode) override {
    in().createExclusive(name, f, mode);
  }
  void createTemporary(int f, FileAttributes mode, const std::string& becomes) override {
    in().createTemporary(f, mode, becomes);
  }
  void nameTemporary(int f, const std::string& name, bool replace) override { fs_.nameTemporary(f, name, replace); }
  std::int64_t removeLeftovers() override { return in().removeLeftovers(); }
  bool stampOpen(int f, const FileDateTime& dt) override { return fs_.stampOpen(f, dt); }
  void setAttrOpen(int f, FileAttributes attributes) override { fs_.setAttrOpen(f, attributes); }
  bool namesIgnoreCase() override { return fs_.namesIgnoreCase(); }
  std::string nameProblem(const std::string& name) override { return fs_.nameProblem(name); }
  FileAttributes pieceAttributes(FileAttributes source) override { return fs_.pieceAttributes(source); }
  std::string setAsideAttributes(FileAttributes source) override { return fs_.setAsideAttributes(source); }
  FileAttributes withSetAside(FileAttributes bits, const std::string& words) override {
    return fs_.withSetAside(bits, words);
  }
  std::string curDir() override { return fs_.curDir(); }
  void chDir(const std::string& path) override { fs_.chDir(path); }
  void chDrive(const std::string& drive) override { fs_.chDrive(drive); }

 private:
  FileServices& in() {
    fs_.selectFolder(d_);
    return fs_;
  }
  FileServices& fs_;
  int d_;
};

// A folder opened for the length of one request, and the view of the file
// services that resolves names against it.
class OpenedFolder {
 public:
  OpenedFolder(FileServices& fs, const std::string& path) : fs_(fs), d_(fs.openFolder(path)), view_(fs, d_) {}
  ~OpenedFolder() { fs_.closeFolder(d_); }
  OpenedFolder(const OpenedFolder&) = delete;
  OpenedFolder& operator=(const OpenedFolder&) = delete;
  FileServices& files() { return view_; }

 private:
  FileServices& fs_;
  int d_;
  FolderView view_;
};

// The file services of the machine the program runs on.
std::unique_ptr<FileServices> makeSystemFileServices();

// What the system's file services may take from the file system; the tests
// turn these off to try the ways that work everywhere.
struct SystemFileOptions {
  bool unnamedTemporaries = true;  // Linux O_TMPFILE, named with linkat
  bool noReplaceRename = true;     // Linux renameat2(RENAME_NOREPLACE)
};
std::unique_ptr<FileServices> makeSystemFileServices(const SystemFileOptions& options);

}  // namespace vexo
