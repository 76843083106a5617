#include "doubles.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace vexo::test {

std::vector<std::string> RecordingUi::messages() const {
  std::vector<std::string> out;
  for (const auto& e : events)
    if (e.rfind("message:", 0) == 0) out.push_back(e.substr(8));
  return out;
}

namespace {

std::string headline(const std::string& event, const std::string& prefix) {
  for (const char* done : {"分割完了\n", "結合完了\n"})
    if (event.rfind(prefix + done, 0) == 0) return event.substr(0, event.find('\n'));
  return event;
}

}  // namespace

std::vector<std::string> RecordingUi::headlines() const {
  std::vector<std::string> out;
  for (const auto& m : messages()) out.push_back(headline(m, ""));
  return out;
}

std::vector<std::string> RecordingUi::headlineEvents() const {
  std::vector<std::string> out;
  for (const auto& e : events) out.push_back(headline(e, "message:"));
  return out;
}

RecordingFileServices::RecordingFileServices(std::unique_ptr<FileServices> inner)
    : inner_(std::move(inner)) {}

void RecordingFileServices::failOn(const std::string& op, int nth, int number,
                                   const std::string& name) {
  faults_.push_back(Fault{op, nth, number, name});
}

bool RecordingFileServices::enter(const std::string& op, const std::string& name) {
  if (beforeCall) beforeCall(op, name);
  for (auto& fault : faults_) {
    if (fault.op != op || (!fault.name.empty() && fault.name != name)) continue;
    if (++fault.seen == fault.nth) {
      if (op == "stamp") return false;
      // A temporary's failure names the file it is to become, as the
      // system's services do.
      throw RuntimeError(fault.number, "injected " + op, name.rfind('~', 0) == 0 ? name.substr(1) : name);
    }
  }
  return true;
}

void RecordingFileServices::addVirtual(const std::string& name, std::int64_t length) {
  VirtualFile v;
  v.length = length;
  v.id = nextId_++;
  virtuals_[name] = v;
  virtualTemps_ = true;
}

RecordingFileServices::VirtualFile& RecordingFileServices::virtualFile(const std::string& name) {
  auto it = virtuals_.find(name);
  if (it == virtuals_.end()) throw RuntimeError(err::FileNotFound, name);
  return it->second;
}

int RecordingFileServices::freeFile() {
  for (int f = 1;; ++f)
    if (!names_.count(f)) return f;
}

void RecordingFileServices::openRead(const std::string& name, int f) {
  log.push_back("openRead " + name + " #" + std::to_string(f));
  enter("openRead", name);
  if (isVirtual(name)) {
    virtualFile(name);
    vhandles_[f] = VirtualHandle{name, false, false, 0};
  } else {
    inner_->openRead(name, f);
  }
  names_[f] = name;
}

void RecordingFileServices::openWrite(const std::string& name, int f, bool truncate) {
  log.push_back("openWrite " + name + " #" + std::to_string(f) + (truncate ? " trunc" : " keep"));
  enter("openWrite", name);
  if (isVirtual(name)) {
    auto it = virtuals_.find(name);
    if (it == virtuals_.end()) addVirtual(name, 0);
    else if (truncate) it->second.length = 0;
    vhandles_[f] = VirtualHandle{name, true, false, 0};
  } else {
    inner_->openWrite(name, f, truncate);
  }
  names_[f] = name;
}

void RecordingFileServices::createNew(const std::string& name, int f) {
  log.push_back("create " + name + " #" + std::to_string(f));
  enter("createNew", name);
  if (isVirtual(name)) {
    if (virtuals_.count(name)) throw RuntimeError(err::FileAlreadyExists, name);
    virtualTemps_ = false;  // (addVirtual sets it again)
    addVirtual(name, 0);
    vhandles_[f] = VirtualHandle{name, true, false, 0};
  } else {
    inner_->createNew(name, f);
  }
  names_[f] = name;
}

void RecordingFileServices::createExclusive(const std::string& name, int f, FileAttributes mode) {
  log.push_back("create " + name + " #" + std::to_string(f));
  enter("createExclusive", name);
  if (isVirtual(name)) {
    if (virtuals_.count(name)) throw RuntimeError(err::FileAlreadyExists, name);
    const bool temps = virtualTemps_;
    addVirtual(name, 0);
    virtualTemps_ = temps;
    virtuals_[name].attributes = mode;
    vhandles_[f] = VirtualHandle{name, true, false, 0};
  } else {
    inner_->createExclusive(name, f, mode);
  }
  names_[f] = name;
}

void RecordingFileServices::createTemporary(int f, FileAttributes mode, const std::string& becomes) {
  const std::string label = "~" + becomes;
  log.push_back("temp " + label + " #" + std::to_string(f));
  enter("createTemporary", label);
  const bool isVirtualTemp = virtualTemps_;
  if (isVirtualTemp) {
    addVirtual(label, 0);
    virtuals_[label].attributes = mode;
    vhandles_[f] = VirtualHandle{label, true, false, 0};
  } else {
    inner_->createTemporary(f, mode, becomes);
  }
  names_[f] = label;
  temporaries_[f] = isVirtualTemp;
}

void RecordingFileServices::nameTemporary(int f, const std::string& name, bool replace) {
  log.push_back("name #" + std::to_string(f) + " " + name + (replace ? " replace" : ""));
  enter("nameTemporary", name);
  if (auto it = vhandles_.find(f); it != vhandles_.end()) {
    if (!replace && virtuals_.count(name)) throw RuntimeError(err::FileAlreadyExists, "name", name);
    VirtualFile v = virtualFile(it->second.name);
    virtuals_.erase(it->second.name);
    virtuals_[name] = v;
    it->second.name = name;
  } else {
    inner_->nameTemporary(f, name, replace);
  }
  names_[f] = name;
  temporaries_.erase(f);
}

std::int64_t RecordingFileServices::removeLeftovers() {
  enter("removeLeftovers", "");
  return inner_->removeLeftovers();
}

void RecordingFileServices::syncFolder() {
  log.push_back("syncFolder");
  enter("syncFolder", "");
  inner_->syncFolder();
}

bool RecordingFileServices::stampOpen(int f, const FileDateTime& dt) {
  log.push_back("stamp " + names_[f]);
  if (!enter("stamp", names_[f])) return false;
  if (auto it = vhandles_.find(f); it != vhandles_.end()) {
    virtualFile(it->second.name).dt = dt;
    return true;
  }
  return inner_->stampOpen(f, dt);
}

void RecordingFileServices::setAttrOpen(int f, FileAttributes attributes) {
  std::ostringstream text;
  text << "setAttr " << names_[f] << " " << std::oct << attributes;
  log.push_back(text.str());
  enter("setAttr", names_[f]);
  if (auto it = vhandles_.find(f); it != vhandles_.end()) {
    virtualFile(it->second.name).attributes = attributes;
    return;
  }
  inner_->setAttrOpen(f, attributes);
}

FileKind RecordingFileServices::kind(const std::string& name, bool followLinks) {
  enter("kind", name);
  if (isVirtual(name)) return virtuals_.count(name) ? FileKind::Regular : FileKind::Missing;
  return inner_->kind(name, followLinks);
}

void RecordingFileServices::replace(const std::string& from, const std::string& to) {
  log.push_back("replace " + from + " " + to);
  enter("replace", to);
  if (isVirtual(from)) {
    VirtualFile v = virtualFile(from);
    virtuals_.erase(from);
    virtuals_[to] = v;
    return;
  }
  inner_->replace(from, to);
}

std::optional<std::int64_t> RecordingFileServices::freeSpace() {
  if (free) return *free;
  return inner_->freeSpace();
}

std::vector<std::string> RecordingFileServices::listDirectory() {
  enter("listDirectory", "");
  std::vector<std::string> names = inner_->listDirectory();
  for (const auto& [name, v] : virtuals_)
    if (name[0] != '~') names.push_back(name);  // temporaries have no names yet
  return names;
}

void RecordingFileServices::truncate(int f) {
  log.push_back("truncate #" + std::to_string(f));
  enter("truncate", names_[f]);
  if (auto it = vhandles_.find(f); it != vhandles_.end()) {
    virtualFile(it->second.name).length = 0;
    it->second.offset = 0;
    return;
  }
  inner_->truncate(f);
}

std::size_t RecordingFileServices::read(int f, char* buf, std::size_t len,
                                        std::optional<std::int64_t> pos) {
  if (recordBlocks)
    log.push_back("read #" + std::to_string(f) + " " + std::to_string(len) +
                  (pos ? " @" + std::to_string(*pos) : ""));
  enter("read", names_[f]);
  if (auto it = vhandles_.find(f); it != vhandles_.end()) {
    VirtualHandle& h = it->second;
    if (pos) h.offset = *pos - 1;
    const std::int64_t length = virtualFile(h.name).length;
    const std::int64_t left = std::max<std::int64_t>(0, length - h.offset);
    const auto got = static_cast<std::size_t>(std::min<std::int64_t>(left, static_cast<std::int64_t>(len)));
    const std::string& kept = virtualFile(h.name).bytes;
    if (h.offset < static_cast<std::int64_t>(kept.size()))
      kept.copy(buf, std::min(got, kept.size() - static_cast<std::size_t>(h.offset)), static_cast<std::size_t>(h.offset));
    h.offset += static_cast<std::int64_t>(got);
    h.eof = got < len;
    return got;  // the other bytes of a virtual file are not kept
  }
  return inner_->read(f, buf, len, pos);
}

bool RecordingFileServices::eof(int f) {
  if (auto it = vhandles_.find(f); it != vhandles_.end()) return it->second.eof;
  return inner_->eof(f);
}

std::int64_t RecordingFileServices::loc(int f) {
  if (auto it = vhandles_.find(f); it != vhandles_.end()) return it->second.offset + 1;
  return inner_->loc(f);
}

void RecordingFileServices::write(int f, const char* buf, std::size_t len) {
  if (recordBlocks) log.push_back("write #" + std::to_string(f) + " " + std::to_string(len));
  enter("write", names_[f]);
  if (auto it = vhandles_.find(f); it != vhandles_.end()) {
    VirtualHandle& h = it->second;
    VirtualFile& v = virtualFile(h.name);
    if (h.offset + static_cast<std::int64_t>(len) <= 4096) {
      if (v.bytes.size() < static_cast<std::size_t>(h.offset) + len) v.bytes.resize(static_cast<std::size_t>(h.offset) + len);
      v.bytes.replace(static_cast<std::size_t>(h.offset), len, buf, len);
    }
    h.offset += static_cast<std::int64_t>(len);
    v.length = std::max(v.length, h.offset);
    return;
  }
  inner_->write(f, buf, len);
}

std::int64_t RecordingFileServices::copyBlocks(int src, int dst, std::span<const std::size_t> lengths,
                                               std::span<char> buffer, std::optional<std::int64_t> pos,
                                               std::uint32_t* crc) {
  // Virtual files keep no bytes: each block is the logged read and write.
  if (vhandles_.count(src) || vhandles_.count(dst))
    return FileServices::copyBlocks(src, dst, lengths, buffer, pos, nullptr);
  auto logRead = [&](std::size_t len, std::int64_t offset) {
    if (recordBlocks)
      log.push_back("read #" + std::to_string(src) + " " + std::to_string(len) +
                    (pos ? " @" + std::to_string(*pos + offset) : ""));
  };
  auto logWrite = [&](std::size_t len) {
    if (recordBlocks) log.push_back("write #" + std::to_string(dst) + " " + std::to_string(len));
  };
  std::int64_t found = 0;
  if (faults_.empty() && !beforeCall) {
    found = inner_->copyBlocks(src, dst, lengths, buffer, pos, crc);
    std::int64_t offset = 0;
    for (const std::size_t len : lengths) {
      logRead(len, offset);
      offset += static_cast<std::int64_t>(len);
      if (offset > found) break;
      logWrite(len);
    }
    return found;
  }
  for (const std::size_t& len : lengths) {
    logRead(len, found);
    enter("read", names_[src]);
    const std::int64_t got =
        inner_->copyBlocks(src, dst, std::span(&len, 1), buffer, pos ? std::optional(*pos + found) : std::nullopt, crc);
    found += got;
    if (got < static_cast<std::int64_t>(len)) break;
    logWrite(len);
    // A fault injected here comes after the bytes were moved; the engine
    // sees the block fail either way.
    enter("write", names_[dst]);
  }
  return found;
}

void RecordingFileServices::flush(int f) {
  log.push_back("flush #" + std::to_string(f));
  if (vhandles_.count(f) == 0) inner_->flush(f);
  enter("flush", names_[f]);
}

void RecordingFileServices::close(int f) {
  log.push_back("close #" + std::to_string(f));
  const std::string name = names_[f];
  // A temporary closed before it was named goes with it.
  if (auto it = temporaries_.find(f); it != temporaries_.end()) {
    if (it->second) virtuals_.erase(name);
    temporaries_.erase(it);
  }
  if (vhandles_.erase(f) == 0) inner_->close(f);
  names_.erase(f);
  enter("close", name);
}

void RecordingFileServices::closeAll() {
  log.push_back("closeAll");
  for (const auto& [f, isVirtual] : temporaries_)
    if (isVirtual) virtuals_.erase(names_[f]);
  temporaries_.clear();
  vhandles_.clear();
  names_.clear();
  inner_->closeAll();
}

FileState RecordingFileServices::openFileState(int f) {
  enter("openFileState", names_[f]);
  if (auto it = vhandles_.find(f); it != vhandles_.end()) {
    const VirtualFile& v = virtualFile(it->second.name);
    return FileState{v.length, v.dt, v.dt, FileIdentity{~0ull, v.id}};
  }
  return inner_->openFileState(f);
}

std::int64_t RecordingFileServices::fileLen(const std::string& name) {
  log.push_back("fileLen " + name);
  enter("fileLen", name);
  if (isVirtual(name)) return virtualFile(name).length;
  return inner_->fileLen(name);
}

FileDateTime RecordingFileServices::fileDateTime(const std::string& name) {
  log.push_back("fileDateTime " + name);
  enter("fileDateTime", name);
  if (isVirtual(name)) return virtualFile(name).dt;
  return inner_->fileDateTime(name);
}

FileAttributes RecordingFileServices::getAttr(const std::string& name) {
  log.push_back("getAttr " + name);
  enter("getAttr", name);
  if (isVirtual(name)) return virtualFile(name).attributes;
  return inner_->getAttr(name);
}

void RecordingFileServices::setAttr(const std::string& name, FileAttributes attributes) {
  std::ostringstream text;
  text << "setAttr " << name << " " << std::oct << attributes;
  log.push_back(text.str());
  enter("setAttr", name);
  if (isVirtual(name)) {
    virtualFile(name).attributes = attributes;
    return;
  }
  inner_->setAttr(name, attributes);
}

void RecordingFileServices::kill(const std::string& name) {
  log.push_back("kill " + name);
  enter("kill", name);
  if (isVirtual(name)) {
    virtualFile(name);
    virtuals_.erase(name);
    return;
  }
  inner_->kill(name);
}

std::optional<FileIdentity> RecordingFileServices::identity(const std::string& name) {
  if (isVirtual(name)) {
    auto it = virtuals_.find(name);
    if (it == virtuals_.end()) return std::nullopt;
    return FileIdentity{~0ull, it->second.id};
  }
  return inner_->identity(name);
}

bool RecordingFileServices::setFileDateTime(const std::string& name, const FileDateTime& dt) {
  log.push_back("stamp " + name);
  if (!enter("stamp", name)) return false;
  if (isVirtual(name)) {
    auto it = virtuals_.find(name);
    if (it == virtuals_.end()) return false;
    it->second.dt = dt;
    return true;
  }
  return inner_->setFileDateTime(name, dt);
}

TempDir::TempDir() : TempDir(fs::temp_directory_path().string()) {}

TempDir::TempDir(const std::string& base) {
  previous_ = fs::current_path().string();
  std::random_device rd;
  std::mt19937_64 gen(rd());
  for (;;) {
    fs::path p = fs::path(base) / ("vexo-test-" + std::to_string(gen() % 1000000000));
    if (fs::create_directory(p)) {
      path_ = p.string();
      break;
    }
  }
  fs::current_path(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::current_path(previous_, ec);
  // Read-only files are made writable again so that everything can go.
  for (auto& entry : fs::recursive_directory_iterator(path_, ec))
    fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::string pattern(std::size_t length, unsigned seed) {
  std::string out(length, '\0');
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& c : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  return out;
}

std::filesystem::path nativePath(const std::string& utf8) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

void writeFile(const std::string& name, const std::string& bytes) {
  std::ofstream out(nativePath(name), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readFile(const std::string& name) {
  std::ifstream in(nativePath(name), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool exists(const std::string& name) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(nativePath(name), ec));
}

std::vector<std::string> filesHere() {
  std::vector<std::string> names;
  for (auto& e : fs::directory_iterator(".")) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

int openDescriptors() {
#ifdef _WIN32
  DWORD handles = 0;
  ::GetProcessHandleCount(::GetCurrentProcess(), &handles);
  return static_cast<int>(handles);
#else
  int n = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator("/proc/self/fd")) ++n;
  return n;
#endif
}

#ifndef _WIN32
bool killedAt(const Job& job, const SystemFileOptions& options, const std::string& op, int nth,
              const std::string& name) {
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    RecordingFileServices fs(makeSystemFileServices(options));
    int seen = 0;
    fs.beforeCall = [&](const std::string& o, const std::string& n) {
      if (o == op && (name.empty() || n == name) && ++seen == nth) ::kill(::getpid(), SIGKILL);
    };
    RecordingUi ui;
    ui.answerNo = kAnswerYes;
    vexo::proc1(fs, ui, job);
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFSIGNALED(status);
}
#endif

}  // namespace vexo::test
