// File services on POSIX systems. Files are read and written with
// pread/pwrite at a position this layer keeps itself, so a positioned read
// costs no extra seek. Runs of blocks move with one read and one write as
// long as the caller's buffer holds them. Attribute bits are the permission
// bits.
#ifndef _WIN32

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <ctime>
#include <map>
#include <vector>

#include "crc32.h"
#include "file_services.h"

namespace vexo {
namespace {

// Maps an errno value to the runtime error number shown to the user.
int errorNumber(int e) {
  switch (e) {
    case ENOENT:
      return err::FileNotFound;
    case ENOTDIR:
      return err::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
    case EBUSY:
      return err::PermissionDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return err::DiskFull;
    case EIO:
      return err::DeviceIO;
    case EMFILE:
    case ENFILE:
      return err::TooManyFiles;
#ifdef ENOMEDIUM
    case ENOMEDIUM:
      return err::DiskNotReady;
#endif
    case ENXIO:
    case ENODEV:
      return err::DeviceUnavailable;
    case EEXIST:
      return err::FileAlreadyExists;
    case ENAMETOOLONG:
      return err::BadFileNameOrNumber;
    default:
      return err::PathFileAccess;
  }
}

[[noreturn]] void fail(int e, const std::string& what, const std::string& file = {}) {
  throw RuntimeError(errorNumber(e), what, file);
}

constexpr int kMaxFiles = 511;
// Runs shorter than this are written without reserving their space first.
constexpr std::int64_t kReserveFrom = std::int64_t{256} << 10;

struct OpenFile {
  int fd = -1;
  bool writable = false;
  bool eof = false;
  std::int64_t offset = 0;  // 0-based offset of the next byte
  std::string name;         // as it was opened
  // Written out to the disk as it comes (writeBehind): bytes before
  // `started` have been handed to the disk, those before `waited` are on it.
  bool writeBehind = false;
  std::int64_t started = 0;
  std::int64_t waited = 0;
};

// How much a written-behind file lets pile up before it hands it to the
// disk, and how far the disk may fall behind before the writer waits.
constexpr std::int64_t kWriteBehindStep = std::int64_t{8} << 20;

// Reads up to len bytes at the file's offset, fewer only at its end; the
// offset is not moved.
std::size_t readAt(const OpenFile& file, char* buf, std::size_t len) {
  std::size_t got = 0;
  while (got < len) {
    const ssize_t n = ::pread(file.fd, buf + got, len - got, static_cast<off_t>(file.offset + got));
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(errno, "read", file.name);
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

// Writes all len bytes at the file's offset and moves the offset past them.
void writeAt(OpenFile& file, const char* buf, std::size_t len) {
  std::size_t done = 0;
  while (done < len) {
    const ssize_t n = ::pwrite(file.fd, buf + done, len - done, static_cast<off_t>(file.offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(errno, "write", file.name);
    }
    if (n == 0) throw RuntimeError(err::DiskFull, "write", file.name);
    done += static_cast<std::size_t>(n);
  }
  file.offset += static_cast<std::int64_t>(len);
#ifdef __linux__
  if (file.writeBehind && file.offset - file.started >= kWriteBehindStep) {
    // Start writing what has piled up; wait for what was started one step
    // before, so that at most two steps are ever waiting for the disk. A
    // failure here is left to the flush to report.
    (void)::sync_file_range(file.fd, file.started, file.offset - file.started, SYNC_FILE_RANGE_WRITE);
    if (file.started - file.waited >= kWriteBehindStep) {
      (void)::sync_file_range(file.fd, file.waited, file.started - file.waited,
                              SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
      file.waited = file.started;
    }
    file.started = file.offset;
  }
#endif
}

FileDateTime instant(const struct timespec& t) {
  return FileDateTime{static_cast<std::int64_t>(t.tv_sec), static_cast<std::int32_t>(t.tv_nsec)};
}

class PosixFileServices final : public FileServices {
 public:
  PosixFileServices() : files_(kMaxFiles + 1) { rememberDriveDirectory(); }

  ~PosixFileServices() override { closeAll(); }

  int freeFile() override {
    for (int f = 1; f <= kMaxFiles; ++f)
      if (files_[f].fd < 0) return f;
    throw RuntimeError(err::TooManyFiles);
  }

  void openRead(const std::string& name, int f) override {
    OpenFile& slot = freeSlot(f);
    // Without waiting: a FIFO with no writer would hold the open forever.
    int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) fail(errno, "open " + name, name);
    slot = OpenFile{regularOnly(fd, name), false, false, 0, name};
  }

  void openWrite(const std::string& name, int f, bool truncate) override {
    OpenFile& slot = freeSlot(f);
    // O_NOFOLLOW: a link is never written through. Nothing is shortened
    // before the name is known to be a regular file.
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0666);
    if (fd < 0) {
      // A missing file is created, so ENOENT here means a missing directory.
      if (errno == ENOENT) throw RuntimeError(err::PathNotFound, "open " + name, name);
      if (errno == ELOOP) throw RuntimeError(err::PathFileAccess, "open " + name + ": a symbolic link", name);
      // A FIFO without a reader.
      if (errno == ENXIO) throw RuntimeError(err::PathFileAccess, "not a regular file: " + name, name);
      fail(errno, "open " + name, name);
    }
    fd = regularOnly(fd, name);
    // A file that is empty already is not shortened: some file systems take
    // a shortened file for one being replaced and write all of it out when
    // it is closed.
    struct stat st {};
    if (truncate && (::fstat(fd, &st) != 0 || st.st_size != 0) && ::ftruncate(fd, 0) != 0) {
      const int e = errno;
      ::close(fd);
      fail(e, "truncate " + name, name);
    }
    slot = OpenFile{fd, true, false, 0, name};
  }

  void createNew(const std::string& name, int f) override {
    OpenFile& slot = freeSlot(f);
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
    if (fd < 0) {
      if (errno == ENOENT) throw RuntimeError(err::PathNotFound, "create " + name, name);
      fail(errno, "create " + name, name);
    }
    slot = OpenFile{fd, true, false, 0, name};
  }

  void truncate(int f) override {
    OpenFile& file = openFile(f);
    if (!file.writable) throw RuntimeError(err::BadFileMode);
    // An empty file is left alone: shortening it would change nothing, and
    // some file systems take a shortened file for one being replaced and
    // write all of it out when it is closed.
    struct stat st {};
    if (::fstat(file.fd, &st) != 0 || st.st_size != 0)
      if (::ftruncate(file.fd, 0) != 0) fail(errno, "truncate", file.name);
    file.offset = 0;
  }

  std::size_t read(int f, char* buf, std::size_t len, std::optional<std::int64_t> pos) override {
    OpenFile& file = openFile(f);
    if (file.writable) throw RuntimeError(err::BadFileMode);
    if (pos) {
      if (*pos < 1) throw RuntimeError(err::BadFileMode, "bad position");
      file.offset = *pos - 1;
    }
    const std::size_t got = readAt(file, buf, len);
    file.offset += static_cast<std::int64_t>(got);
    file.eof = got < len;
    return got;
  }

  bool eof(int f) override { return openFile(f).eof; }

  std::int64_t loc(int f) override { return openFile(f).offset + 1; }

  void write(int f, const char* buf, std::size_t len) override {
    OpenFile& file = openFile(f);
    if (!file.writable) throw RuntimeError(err::BadFileMode);
    writeAt(file, buf, len);
  }

  // Asks the file system to allocate the space a run of blocks will fill
  // before it is written. Writing into space allocated in one piece measured
  // about a quarter faster on ext4 than having each write allocate its own,
  // and steadier. It only reserves: the file's length stays as it is, and
  // where the file system cannot do it (or the disk is full, which the
  // write then reports) nothing changes.
  static void reserve(const OpenFile& out, std::span<const std::size_t> lengths) {
#ifdef __linux__
    std::int64_t total = 0;
    for (const std::size_t len : lengths) total += static_cast<std::int64_t>(len);
    if (total >= kReserveFrom) (void)::fallocate(out.fd, FALLOC_FL_KEEP_SIZE, out.offset, total);
#else
    (void)out;
    (void)lengths;
#endif
  }

  std::int64_t copyBlocks(int src, int dst, std::span<const std::size_t> lengths, std::span<char> buffer,
                          std::optional<std::int64_t> pos, std::uint32_t* crc) override {
    OpenFile& in = openFile(src);
    OpenFile& out = openFile(dst);
    if (in.writable || !out.writable) throw RuntimeError(err::BadFileMode);
    if (pos) {
      if (*pos < 1) throw RuntimeError(err::BadFileMode, "bad position");
      in.offset = *pos - 1;
    }
    reserve(out, lengths);
    // As many blocks as the buffer holds go with one read and one write;
    // only whole blocks are written.
    std::int64_t found = 0;
    for (std::size_t first = 0; first < lengths.size();) {
      std::size_t count = 0, bytes = 0;
      while (first + count < lengths.size() && (count == 0 || bytes + lengths[first + count] <= buffer.size()))
        bytes += lengths[first + count++];
      if (bytes > buffer.size()) throw RuntimeError(err::BadFileMode, "block longer than the buffer");
      const std::size_t got = readAt(in, buffer.data(), bytes);
      std::size_t whole = 0, blocks = 0;
      while (blocks < count && whole + lengths[first + blocks] <= got) whole += lengths[first + blocks++];
      writeAt(out, buffer.data(), whole);
      if (crc) *crc = crc32Update(*crc, buffer.data(), whole);
      in.offset += static_cast<std::int64_t>(got);
      found += static_cast<std::int64_t>(got);
      if (got < bytes) {
        in.eof = true;  // the block that fell short is not written
        return found;
      }
      first += count;
    }
    in.eof = false;
    return found;
  }

  void writeBehind(int f) override {
    OpenFile& file = openFile(f);
    file.writeBehind = true;
    file.started = file.waited = file.offset;
  }

  void flush(int f) override {
    OpenFile& file = openFile(f);
    while (::fdatasync(file.fd) != 0) {
      if (errno != EINTR) fail(errno, "flush", file.name);
    }
  }

  void close(int f) override {
    OpenFile& file = openFile(f);
    int fd = file.fd;
    const std::string name = file.name;
    file = OpenFile{};
    // A failing close of a written file may mean its data did not reach the disk.
    if (::close(fd) != 0 && errno != EINTR) fail(errno, "close", name);
  }

  void closeAll() override {
    for (auto& file : files_) {
      if (file.fd >= 0) ::close(file.fd);
      file = OpenFile{};
    }
  }

  std::int64_t fileLen(const std::string& name) override { return statOf(name).st_size; }

  FileDateTime fileDateTime(const std::string& name) override { return instant(statOf(name).st_mtim); }

  FileState openFileState(int f) override {
    OpenFile& file = openFile(f);
    struct stat st {};
    if (::fstat(file.fd, &st) != 0) fail(errno, "fstat", file.name);
    return FileState{st.st_size, instant(st.st_mtim), instant(st.st_ctim),
                     FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)}};
  }

  FileAttributes getAttr(const std::string& name) override {
    return statOf(name).st_mode & 07777;
  }

  void setAttr(const std::string& name, FileAttributes attributes) override {
    // Never through a link (refused with EOPNOTSUPP), and the permission
    // bits only.
    if (::fchmodat(AT_FDCWD, name.c_str(), static_cast<mode_t>(attributes & 0777), AT_SYMLINK_NOFOLLOW) != 0)
      fail(errno, "chmod " + name, name);
  }

  FileKind kind(const std::string& name, bool followLinks) override {
    struct stat st {};
    if ((followLinks ? ::stat(name.c_str(), &st) : ::lstat(name.c_str(), &st)) != 0) {
      if (errno == ENOENT || errno == ENAMETOOLONG || errno == ELOOP) return FileKind::Missing;
      fail(errno, name, name);
    }
    if (S_ISREG(st.st_mode)) return FileKind::Regular;
    if (S_ISDIR(st.st_mode)) return FileKind::Directory;
    if (S_ISLNK(st.st_mode)) return FileKind::Link;
    return FileKind::Other;
  }

  void replace(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) fail(errno, "rename " + from + " " + to, to);
  }

  std::optional<std::int64_t> freeSpace() override {
    struct statvfs v {};
    if (::statvfs(".", &v) != 0) return std::nullopt;
    return static_cast<std::int64_t>(v.f_bavail) * static_cast<std::int64_t>(v.f_frsize);
  }

  std::vector<std::string> listDirectory() override {
    std::vector<std::string> names;
    DIR* dir = ::opendir(".");
    if (!dir) fail(errno, "list");
    while (const dirent* e = ::readdir(dir)) {
      const std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    ::closedir(dir);
    return names;
  }

  void kill(const std::string& name) override {
    struct stat st {};
    if (::lstat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
      throw RuntimeError(err::PathFileAccess, "delete " + name, name);
    if (::unlink(name.c_str()) != 0) fail(errno, "delete " + name, name);
  }

  std::optional<FileIdentity> identity(const std::string& name) override {
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0) return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  }

  bool setFileDateTime(const std::string& name, const FileDateTime& dt) override {
    int fd = ::open(name.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      return false;
    }
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // last access: unchanged
    times[1].tv_sec = static_cast<time_t>(dt.seconds);
    times[1].tv_nsec = dt.nanoseconds;
    ::futimens(fd, times);
    ::close(fd);
    return true;
  }

  std::string curDir() override {
    std::vector<char> buf(PATH_MAX);
    while (!::getcwd(buf.data(), buf.size())) {
      if (errno != ERANGE) fail(errno, "getcwd");
      buf.resize(buf.size() * 2);
    }
    return buf.data();
  }

  void chDir(const std::string& path) override {
    if (::chdir(path.c_str()) != 0) {
      if (errno == ENOENT) throw RuntimeError(err::PathNotFound, "chdir " + path);
      fail(errno, "chdir " + path);
    }
    rememberDriveDirectory();
  }

  void chDrive(const std::string& drive) override {
    rememberDriveDirectory();
    struct stat st {};
    if (::stat(drive.c_str(), &st) != 0) driveFailure(errno);
    if (!S_ISDIR(st.st_mode)) throw RuntimeError(err::DeviceUnavailable, drive);
    // The drive's own current directory when it still exists, else its root.
    std::string target = drive;
    std::string root = drive.size() > 1 && drive.back() == '/' ? drive.substr(0, drive.size() - 1) : drive;
    auto it = driveDirs_.find(root);
    if (it != driveDirs_.end() && enterable(it->second)) target = it->second;
    DIR* dir = ::opendir(target.c_str());
    if (!dir) driveFailure(errno);
    errno = 0;
    bool readFailed = ::readdir(dir) == nullptr && errno != 0;
    int readErrno = errno;
    ::closedir(dir);
    if (readFailed) driveFailure(readErrno);
    if (::chdir(target.c_str()) != 0) driveFailure(errno);
    rememberDriveDirectory();
  }

 private:
  OpenFile& openFile(int f) {
    if (f < 1 || f > kMaxFiles || files_[f].fd < 0) throw RuntimeError(err::BadFileNameOrNumber);
    return files_[f];
  }

  // The descriptor of a regular file, back in blocking mode; anything else
  // is closed and refused.
  static int regularOnly(int fd, const std::string& name) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      throw RuntimeError(err::PathFileAccess, "not a regular file: " + name, name);
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
  }

  OpenFile& freeSlot(int f) {
    if (f < 1 || f > kMaxFiles) throw RuntimeError(err::BadFileNameOrNumber);
    if (files_[f].fd >= 0) throw RuntimeError(err::FileAlreadyOpen);
    return files_[f];
  }

  struct stat statOf(const std::string& name) {
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0) fail(errno, name, name);
    return st;
  }

  [[noreturn]] static void driveFailure(int e) {
    switch (e) {
      case EIO:
#ifdef ENOMEDIUM
      case ENOMEDIUM:
#endif
      case ENXIO:
      case ENODEV:
      case ESTALE:
        throw RuntimeError(err::DiskNotReady);
      default:
        // Vanished, not a directory, or not allowed in.
        throw RuntimeError(err::DeviceUnavailable);
    }
  }

  static bool enterable(const std::string& dir) {
    struct stat st {};
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(dir.c_str(), X_OK) == 0;
  }

  // The mount point holding a directory: its highest ancestor on the same device.
  static std::string mountRoot(const std::string& dir) {
    struct stat st {};
    if (dir.empty() || dir[0] != '/' || ::stat(dir.c_str(), &st) != 0) return dir;
    std::string root = dir;
    while (root.size() > 1) {
      auto slash = root.find_last_of('/');
      std::string parent = slash == 0 ? "/" : root.substr(0, slash);
      struct stat pst {};
      if (::stat(parent.c_str(), &pst) != 0 || pst.st_dev != st.st_dev) break;
      root = parent;
    }
    return root;
  }

  // Each drive keeps its own current directory, as drive letters do.
  void rememberDriveDirectory() {
    try {
      std::string cwd = curDir();
      driveDirs_[mountRoot(cwd)] = cwd;
    } catch (const RuntimeError&) {
    }
  }

  std::vector<OpenFile> files_;
  std::map<std::string, std::string> driveDirs_;
};

}  // namespace

std::unique_ptr<FileServices> makeSystemFileServices() { return std::make_unique<PosixFileServices>(); }

FileDateTime localDateTime(int year, int month, int day, int hour, int minute, int second) {
  struct tm local {};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;  // the local time zone decides on daylight saving
  return FileDateTime{static_cast<std::int64_t>(::mktime(&local)), 0};
}

}  // namespace vexo

#endif  // !_WIN32
