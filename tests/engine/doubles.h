// Test doubles for the engine: a user interface that records what it is
// asked and answers as the test says, and file services that record every
// call, inject faults, and hold "virtual" files (names starting with '@')
// whose bytes are never stored, for sizes no test could write to disk.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine.h"
#include "file_services.h"
#include "user_interface.h"

namespace vexo::test {

class RecordingUi : public UserInterface {
 public:
  // Everything the engine did to the user, in order:
  // "status:TEXT", "clear", "message:TEXT", "question:TEXT", "refresh", "prompt".
  std::vector<std::string> events;

  std::int64_t size = kPieceSize144;
  int check = 0;
  int answer = kAnswerYes;        // answer to the Yes/No question
  int answerNo = 7;               // answer to the question whose default is No
  std::string extension;          // text the extension dialog returns
  int digits = 1;                 // piece-number width a split writes
  bool promptOk = true;           // whether the dialog is left with OK
  std::function<void()> onPrompt;  // runs while the dialog is "shown"
  std::vector<std::pair<std::int64_t, std::int64_t>> progressed;  // every progress(done, total)
  int stopAtPoll = 0;  // stopRequested() answers true from this call on (0: never)
  int polls = 0;

  void statusText(const std::string& text) override { events.push_back("status:" + text); }
  void clearStatus() override { events.push_back("clear"); }
  void message(const std::string& text) override { events.push_back("message:" + text); }
  int question(const std::string& text) override {
    events.push_back("question:" + text);
    return answer;
  }
  int questionNo(const std::string& text) override {
    events.push_back("questionNo:" + text);
    return answerNo;
  }
  void refreshFileList() override { events.push_back("refresh"); }
  std::optional<std::string> askExtension(const std::string& suggested) override {
    if (!suggested.empty()) events.push_back("suggest:" + suggested);
    events.push_back("prompt");
    if (onPrompt) onPrompt();
    if (!promptOk) return std::nullopt;
    return extension;
  }
  void progress(std::int64_t done, std::int64_t total) override { progressed.emplace_back(done, total); }
  bool stopRequested() override { return stopAtPoll > 0 && ++polls >= stopAtPoll; }

  std::vector<std::string> messages() const;

  // The request the window would build for the chosen name from the
  // switches above.
  Job job(const std::string& name) const {
    Job j;
    j.chosen = name;
    j.pieceSize = size;
    j.shortNaming = check != 0;
    j.digits = digits;
    return j;
  }
  // The messages, and all events, with the completion summaries ("分割完了"
  // or "結合完了" and a second line of figures) cut to their first line,
  // for tests that check the outcome and not the summary's figures.
  std::vector<std::string> headlines() const;
  std::vector<std::string> headlineEvents() const;
};

// Runs the request for the name with the switches the recorder holds.
inline void proc1(FileServices& fs, RecordingUi& ui, const std::string& name) {
  vexo::proc1(fs, ui, ui.job(name));
}

class RecordingFileServices : public FileServices {
 public:
  explicit RecordingFileServices(std::unique_ptr<FileServices> inner = makeSystemFileServices());

  // Calls as text, e.g. "openWrite a.1 #2 trunc", "create .t #1",
  // "read #1 30000", "read #1 10000 @2925329", "write #2 30000",
  // "close #2", "stamp a.1", "setAttr a.1 644", "kill a.1", "fileLen a",
  // "truncate #1", "replace .t a".
  std::vector<std::string> log;
  // Reads and writes are left out of the log while this is false (for sets
  // of millions of blocks).
  bool recordBlocks = true;

  // Makes the nth call (1-based) of operation op fail with the error number.
  // With a name given, only calls on that file count ("read"/"write"/"close"
  // count by the name the file number was opened with). A failing stamp
  // reports that the file could not be opened.
  void failOn(const std::string& op, int nth, int number, const std::string& name = {});
  // Runs before every call, with the operation and the file's name.
  std::function<void(const std::string& op, const std::string& name)> beforeCall;

  // Virtual files: the name must start with '@'. Once there is one, the
  // engine's hidden temporary files (".vexo-...") are virtual too. Their
  // bytes are not kept, except the first few KiB of those written by
  // single writes (a set's record); runs of blocks from or to a virtual
  // file leave a CRC-32 unchanged.
  void addVirtual(const std::string& name, std::int64_t length);
  bool virtualExists(const std::string& name) const { return virtuals_.count(name) != 0; }
  std::int64_t virtualLength(const std::string& name) const { return virtuals_.at(name).length; }
  std::size_t virtualCount() const { return virtuals_.size(); }
  // Free space reported (nothing: what the inner services say).
  std::optional<std::optional<std::int64_t>> free;
  // Number of files open, real and virtual.
  int openFiles() const { return static_cast<int>(names_.size()); }

  int freeFile() override;
  void openRead(const std::string& name, int f) override;
  void openWrite(const std::string& name, int f, bool truncate) override;
  void createNew(const std::string& name, int f) override;
  FileKind kind(const std::string& name, bool followLinks) override;
  void replace(const std::string& from, const std::string& to) override;
  std::optional<std::int64_t> freeSpace() override;
  std::vector<std::string> listDirectory() override;
  void truncate(int f) override;
  std::size_t read(int f, char* buf, std::size_t len, std::optional<std::int64_t> pos) override;
  bool eof(int f) override;
  std::int64_t loc(int f) override;
  void write(int f, const char* buf, std::size_t len) override;
  // Logged as the read of each block and, when it was whole, its write.
  // Without faults or a hook the run goes to the inner services in one
  // piece, as in the program; otherwise block by block, each counted and
  // hooked as that read and write.
  std::int64_t copyBlocks(int src, int dst, std::span<const std::size_t> lengths, std::span<char> buffer,
                          std::optional<std::int64_t> pos, std::uint32_t* crc) override;
  void flush(int f) override;
  // Not logged: how the file is written, not what is done with it.
  void writeBehind(int f, std::int64_t length) override {
    if (vhandles_.count(f) == 0) inner_->writeBehind(f, length);
  }
  void close(int f) override;
  void closeAll() override;
  FileState openFileState(int f) override;
  std::int64_t fileLen(const std::string& name) override;
  FileDateTime fileDateTime(const std::string& name) override;
  FileAttributes getAttr(const std::string& name) override;
  void setAttr(const std::string& name, FileAttributes attributes) override;
  void kill(const std::string& name) override;
  std::optional<FileIdentity> identity(const std::string& name) override;
  bool setFileDateTime(const std::string& name, const FileDateTime& dt) override;
  int openFolder(const std::string& path) override { return inner_->openFolder(path); }
  void closeFolder(int d) override { inner_->closeFolder(d); }
  void selectFolder(int d) override { inner_->selectFolder(d); }
  void syncFolder() override;
  bool folderWritable() override { return inner_->folderWritable(); }
  void createExclusive(const std::string& name, int f, FileAttributes mode) override;
  // A temporary is known here, in the log and to failOn(), as "~" and the
  // name it is to become ("temp ~a.1 #2"), until it is named ("name #2 a.1",
  // with " replace" when it may replace a file).
  void createTemporary(int f, FileAttributes mode, const std::string& becomes) override;
  void nameTemporary(int f, const std::string& name, bool replace) override;
  std::int64_t removeLeftovers() override;
  // Logged as "stamp NAME" and "setAttr NAME BITS" by the open file's name.
  bool stampOpen(int f, const FileDateTime& dt) override;
  void setAttrOpen(int f, FileAttributes attributes) override;
  std::string curDir() override { return inner_->curDir(); }
  void chDir(const std::string& path) override { inner_->chDir(path); }
  void chDrive(const std::string& drive) override { inner_->chDrive(drive); }
  bool namesIgnoreCase() override { return inner_->namesIgnoreCase(); }
  std::string nameProblem(const std::string& name) override { return inner_->nameProblem(name); }
  FileAttributes pieceAttributes(FileAttributes source) override { return inner_->pieceAttributes(source); }
  std::string setAsideAttributes(FileAttributes source) override { return inner_->setAsideAttributes(source); }
  FileAttributes withSetAside(FileAttributes bits, const std::string& words) override {
    return inner_->withSetAside(bits, words);
  }

 private:
  struct Fault {
    std::string op;
    int nth;
    int number;
    std::string name;
    int seen = 0;
  };
  struct VirtualFile {
    std::int64_t length = 0;
    FileDateTime dt{981'169'506, 0};  // 2001-02-03 03:05:06 UTC
    FileAttributes attributes = 0644;
    std::uint64_t id = 0;
    std::string bytes;  // the start, as written by write()
  };
  struct VirtualHandle {
    std::string name;
    bool writable = false;
    bool eof = false;
    std::int64_t offset = 0;
  };

  // Runs the hook and throws when a fault is due; returns false for a due
  // fault of an operation that reports failure by its result.
  bool enter(const std::string& op, const std::string& name);
  bool isVirtual(const std::string& name) const {
    return (!name.empty() && name[0] == '@') || (virtualTemps_ && name.rfind(".vexo-", 0) == 0);
  }
  bool virtualTemps_ = false;
  VirtualFile& virtualFile(const std::string& name);

  std::unique_ptr<FileServices> inner_;
  std::vector<Fault> faults_;
  std::map<int, std::string> names_;  // open file number -> name
  std::map<int, bool> temporaries_;   // open temporaries not yet named -> virtual
  std::map<std::string, VirtualFile> virtuals_;
  std::map<int, VirtualHandle> vhandles_;
  std::uint64_t nextId_ = 1;
};

// A temporary directory that is the current directory while it lives.
class TempDir {
 public:
  TempDir();
  // A temporary directory below base instead of the system's.
  explicit TempDir(const std::string& base);
  ~TempDir();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;
};

std::string pattern(std::size_t length, unsigned seed = 1);
// The path of a file named in UTF-8, as the engine names files (plain
// narrow strings mean the ANSI code page to the standard library on Windows).
std::filesystem::path nativePath(const std::string& utf8);
void writeFile(const std::string& name, const std::string& bytes);
std::string readFile(const std::string& name);
bool exists(const std::string& name);
// Names in the current directory, sorted.
std::vector<std::string> filesHere();
// Number of file descriptors this process has open.
int openDescriptors();

#ifndef _WIN32
// Runs the request in a child process, through the system's services with
// these options, killed before the nth call of op on name (op alone when
// name is empty); whether it was killed.
bool killedAt(const Job& job, const SystemFileOptions& options, const std::string& op, int nth,
              const std::string& name);
#endif

}  // namespace vexo::test
