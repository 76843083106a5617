#include "par2.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <limits>
#include <memory>
#include <set>
#include <span>
#include <stdexcept>
#include <thread>

#include "block_copy.h"
#include "crc32.h"
#include "par2_gf.h"

namespace vexo::par2 {
namespace {

// ------------------------------------------------------------ packet bytes

constexpr char kMagic[8] = {'P', 'A', 'R', '2', '\0', 'P', 'K', 'T'};
constexpr std::size_t kHeader = 64;
using Type = std::array<char, 16>;
constexpr Type kMain = {'P', 'A', 'R', ' ', '2', '.', '0', '\0', 'M', 'a', 'i', 'n', '\0', '\0', '\0', '\0'};
constexpr Type kFileDesc = {'P', 'A', 'R', ' ', '2', '.', '0', '\0', 'F', 'i', 'l', 'e', 'D', 'e', 's', 'c'};
constexpr Type kIfsc = {'P', 'A', 'R', ' ', '2', '.', '0', '\0', 'I', 'F', 'S', 'C', '\0', '\0', '\0', '\0'};
constexpr Type kRecvSlic = {'P', 'A', 'R', ' ', '2', '.', '0', '\0', 'R', 'e', 'c', 'v', 'S', 'l', 'i', 'c'};
constexpr Type kCreator = {'P', 'A', 'R', ' ', '2', '.', '0', '\0', 'C', 'r', 'e', 'a', 't', 'o', 'r', '\0'};

// What the set says made it.
constexpr const char* kCreatorText = "VEXO file splitter";

// The recoverable error number for a file that ends before it should.
constexpr int kInputPastEnd = 62;

using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void put64(Bytes& b, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void putDigest(Bytes& b, const Digest& d) { b.insert(b.end(), d.begin(), d.end()); }
std::uint32_t get32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
std::uint64_t get64(const std::uint8_t* p) { return get32(p) | std::uint64_t(get32(p + 4)) << 32; }
Digest getDigest(const std::uint8_t* p) {
  Digest d;
  std::memcpy(d.data(), p, 16);
  return d;
}

// The header of a packet whose body is the parts, in order: its length (a
// multiple of 4) and its MD5, taken with the set id and type.
Bytes header(const Digest& setId, const Type& type, std::initializer_list<std::span<const std::uint8_t>> body) {
  Md5 m;
  m.update(setId.data(), 16);
  m.update(reinterpret_cast<const std::uint8_t*>(type.data()), 16);
  std::uint64_t length = 0;
  for (const auto& part : body) {
    m.update(part.data(), part.size());
    length += part.size();
  }
  Bytes h(kMagic, kMagic + 8);
  put64(h, kHeader + length);
  putDigest(h, m.finish());
  putDigest(h, setId);
  h.insert(h.end(), type.begin(), type.end());
  return h;
}

// A whole packet, appended to out.
void appendPacket(Bytes& out, const Digest& setId, const Type& type, const Bytes& body) {
  const Bytes h = header(setId, type, {body});
  out.insert(out.end(), h.begin(), h.end());
  out.insert(out.end(), body.begin(), body.end());
}

void padTo4(Bytes& b) {
  while (b.size() % 4 != 0) b.push_back(0);
}

// File ids sort as 128-bit numbers stored little-endian.
bool idLess(const Digest& a, const Digest& b) {
  for (int i = 15; i >= 0; --i)
    if (a[i] != b[i]) return a[i] < b[i];
  return false;
}

std::int64_t roundUp(std::int64_t n, std::int64_t unit) { return (n + unit - 1) / unit * unit; }

void checkStop(const Watch& watch) {
  if (watch.stop && watch.stop()) throw StopRequested{};
}

// A file open for reading as f until close() or the end of the scope,
// however it is left.
class OpenForRead {
 public:
  OpenForRead(FileServices& fs, const std::string& path, int f) : fs_(fs), f_(f) { fs.openRead(path, f); }
  OpenForRead(const OpenForRead&) = delete;
  OpenForRead& operator=(const OpenForRead&) = delete;
  ~OpenForRead() {
    if (f_ >= 0) try {
        fs_.close(f_);
      } catch (...) {
      }
  }
  void close() {
    const int f = f_;
    f_ = -1;
    fs_.close(f);
  }

 private:
  FileServices& fs_;
  int f_;
};

// -------------------------------------------------- combining whole blocks

// A block's bytes in a file; shorter ones are zero-padded to the block size.
struct Source {
  const std::string* path;
  std::int64_t offset;  // 0-based
  std::int64_t length;
};

// Blocks are processed in this many bytes at a time, so that an output's
// part and an input's part stay in the first-level cache.
constexpr std::size_t kChunk = 4096;
// Input blocks read ahead while the previous ones are combined.
constexpr std::int64_t kGroupMemory = std::int64_t{8} << 20;
constexpr std::size_t kMaxGroup = 16;

struct AlignedBuffer {
  explicit AlignedBuffer(std::size_t n) : raw(n + 64) {
    const auto addr = reinterpret_cast<std::uintptr_t>(raw.data());
    data = raw.data() + ((64 - addr % 64) % 64);
  }
  std::vector<std::uint8_t> raw;
  std::uint8_t* data;
};

unsigned threadCount() {
  const unsigned n = std::thread::hardware_concurrency();
  return std::clamp(n, 1u, 16u);
}

// Threads that are joined however the scope is left.
struct Workers {
  std::vector<std::thread> threads;
  void wait() {
    for (auto& t : threads) t.join();
    threads.clear();
  }
  ~Workers() { wait(); }
};

// outputs[o] = sum over s of coef(o, s) * sources[s], all blocks of
// blockSize bytes. onSource sees every source's bytes (zero-padded) once, in
// order, on the first pass; onOutput gets each output in order. The outputs
// are made in passes of as many as passMemory holds, each pass reading all
// sources; the next group of sources is read while the last is combined.
void combine(FileServices& fs, int f, const std::vector<Source>& sources, std::int64_t blockSize,
             std::size_t outputs, const std::function<std::uint16_t(std::size_t o, std::size_t s)>& coef,
             const std::function<void(std::size_t s, const std::uint8_t* padded)>& onSource,
             const std::function<void(std::size_t o, const std::uint8_t* data)>& onOutput, const Watch& watch,
             std::int64_t passMemory = kPassMemory) {
  const std::size_t S = static_cast<std::size_t>(roundUp(blockSize, kRegionUnit));
  const std::size_t perPass =
      std::clamp<std::size_t>(static_cast<std::size_t>(passMemory / static_cast<std::int64_t>(S)), 1,
                              std::max<std::size_t>(outputs, 1));
  const std::size_t group =
      std::clamp<std::size_t>(static_cast<std::size_t>(kGroupMemory / static_cast<std::int64_t>(2 * S)), 1, kMaxGroup);
  const std::size_t passes = (outputs + perPass - 1) / perPass;
  std::int64_t sourceBytes = 0;
  for (const auto& s : sources) sourceBytes += s.length;
  const std::int64_t total = sourceBytes * static_cast<std::int64_t>(std::max<std::size_t>(passes, 1));
  std::int64_t done = 0;
  if (watch.progress) watch.progress(0, total);

  AlignedBuffer raw(S);
  AlignedBuffer outBuf(perPass * S);
  AlignedBuffer inBuf[2] = {AlignedBuffer(group * 2 * S), AlignedBuffer(group * 2 * S)};
  std::vector<MulTable> tables[2];
  std::vector<char> zero[2];
  const unsigned nThreads = threadCount();
  const std::string* openPath = nullptr;
  struct Closer {
    FileServices& fs;
    int f;
    const std::string*& open;
    ~Closer() {
      if (open) try {
          fs.close(f);
        } catch (...) {
        }
    }
  } closer{fs, f, openPath};

  for (std::size_t pass = 0; pass == 0 || pass < passes; ++pass) {
    const std::size_t o0 = pass * perPass;
    const std::size_t outs = std::min(perPass, outputs - std::min(outputs, o0));
    std::memset(outBuf.data, 0, outs * S);
    Workers workers;
    int cur = 0;
    for (std::size_t g0 = 0; g0 < sources.size(); g0 += group) {
      const std::size_t count = std::min(group, sources.size() - g0);
      std::uint8_t* in = inBuf[cur].data;
      for (std::size_t i = 0; i < count; ++i) {
        const Source& src = sources[g0 + i];
        if (openPath != src.path && !(openPath && *openPath == *src.path)) {
          if (openPath) fs.close(f);
          openPath = nullptr;
          fs.openRead(*src.path, f);
          openPath = src.path;
        }
        const auto len = static_cast<std::size_t>(src.length);
        if (fs.read(f, reinterpret_cast<char*>(raw.data), len, src.offset + 1) != len)
          throw RuntimeError(kInputPastEnd, "file ends before its recorded length", *src.path);
        std::memset(raw.data + len, 0, S - len);
        if (pass == 0 && onSource) onSource(g0 + i, raw.data);
        prepare(raw.data, in + i * 2 * S, S);
        done += src.length;
      }
      // Tables for every output and source of this group.
      auto& t = tables[cur];
      auto& z = zero[cur];
      t.resize(outs * count);
      z.assign(outs * count, 0);
      for (std::size_t o = 0; o < outs; ++o)
        for (std::size_t i = 0; i < count; ++i) {
          const std::uint16_t c = coef(o0 + o, g0 + i);
          z[o * count + i] = c == 0;
          if (c != 0) makeTable(c, t[o * count + i]);
        }
      workers.wait();
      if (watch.progress) watch.progress(done, total);
      checkStop(watch);
      // Each thread takes its share of every block's bytes.
      const std::size_t share = static_cast<std::size_t>(roundUp(static_cast<std::int64_t>((S + nThreads - 1) / nThreads), kRegionUnit));
      for (std::size_t begin = 0; begin < S && outs > 0; begin += share) {
        const std::size_t end = std::min(S, begin + share);
        workers.threads.emplace_back([&, begin, end, in, count, cur] {
          const auto& tt = tables[cur];
          const auto& zz = zero[cur];
          for (std::size_t c = begin; c < end; c += kChunk) {
            const std::size_t len = std::min(kChunk, end - c);
            for (std::size_t o = 0; o < outs; ++o)
              for (std::size_t i = 0; i < count; ++i)
                if (!zz[o * count + i]) mulAdd(outBuf.data + o * S + c, in + i * 2 * S + 2 * c, len, tt[o * count + i]);
          }
        });
      }
      cur ^= 1;
    }
    workers.wait();
    for (std::size_t o = 0; o < outs; ++o) {
      fromSplit(outBuf.data + o * S, raw.data, S);
      onOutput(o0 + o, raw.data);
    }
  }
}

// ------------------------------------------------------------ file names

int digits(std::int64_t n) {
  int d = 1;
  while (n >= 10) {
    n /= 10;
    ++d;
  }
  return d;
}

std::string padded(std::int64_t n, int width) {
  std::string s = std::to_string(n);
  return std::string(static_cast<std::size_t>(std::max(0, width - static_cast<int>(s.size()))), '0') + s;
}

}  // namespace

// ------------------------------------------------------------------ layout

std::vector<std::string> Layout::names() const {
  std::vector<std::string> all{indexName};
  for (const auto& v : volumes) all.push_back(v.name);
  return all;
}

Layout plan(const std::vector<std::int64_t>& lengths, int percent, const std::string& base, std::int64_t blockSize) {
  Layout l;
  std::int64_t nonEmpty = 0, longest = 0, total = 0;
  for (const auto n : lengths) {
    if (n > 0) ++nonEmpty;
    longest = std::max(longest, n);
    total += n;
  }
  if (nonEmpty > kMaxInputBlocks) throw std::invalid_argument("too many files for one recovery set");
  auto blocksFor = [&](std::int64_t b) {
    std::int64_t n = 0;
    for (const auto len : lengths) n += (len + b - 1) / b;
    return n;
  };
  if (blockSize <= 0) {
    // Files of equal length (the pieces of a split) are cut in the same
    // number of blocks, none of them wasted on padding where it can be
    // helped; the block size stays a multiple of 4.
    std::int64_t perFile = nonEmpty > 0 ? std::max<std::int64_t>(1, (kTargetBlocks + nonEmpty / 2) / nonEmpty) : 1;
    blockSize = std::max<std::int64_t>(4, roundUp((longest + perFile - 1) / perFile, 4));
    // Far more blocks than the format has (many short files): larger blocks.
    while (blocksFor(blockSize) > kMaxInputBlocks) blockSize = roundUp(blockSize * 2, 4);
    (void)total;
  }
  l.blockSize = blockSize;
  l.inputBlocks = blocksFor(blockSize);
  if (l.inputBlocks > kMaxInputBlocks) throw std::invalid_argument("too many blocks for one recovery set");
  percent = std::clamp(percent, 1, 100);
  l.recoveryBlocks = std::max<std::int64_t>(1, (l.inputBlocks * percent + 99) / 100);
  // Volumes of 1, 2, 4, ... blocks, the last one holding the rest.
  std::vector<std::pair<std::int64_t, std::int64_t>> parts;
  for (std::int64_t first = 0, count = 1; first < l.recoveryBlocks; first += count, count *= 2)
    parts.emplace_back(first, std::min(count, l.recoveryBlocks - first));
  const int w1 = std::max(2, digits(parts.back().first));
  std::int64_t largest = 0;
  for (const auto& p : parts) largest = std::max(largest, p.second);
  const int w2 = std::max(2, digits(largest));
  for (const auto& [first, count] : parts)
    l.volumes.push_back({first, count, base + ".vol" + padded(first, w1) + "+" + padded(count, w2) + ".par2"});
  l.indexName = base + ".par2";
  return l;
}

// ---------------------------------------------------------------- writing

Layout create(FileServices& fs, int f, const std::vector<Input>& inputs, const std::string& base, int percent, FileAttributes mode,
              const Watch& watch, std::int64_t blockSize) {
  std::vector<std::int64_t> lengths;
  for (const auto& in : inputs) lengths.push_back(fs.fileLen(in.path));
  const Layout layout = plan(lengths, percent, base, blockSize);
  const std::int64_t B = layout.blockSize;

  // The files' blocks, and their checksums as they are read.
  struct FileState {
    Md5 full;
    Bytes checks;  // IFSC entries
    FileEntry entry;
    std::string path;
  };
  // Empty files have no blocks; the set leaves them out, as other PAR2
  // tools do.
  std::vector<FileState> files;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    if (lengths[i] == 0) continue;
    FileState st;
    st.entry.name = inputs[i].name;
    st.entry.length = lengths[i];
    st.path = inputs[i].path;
    files.push_back(std::move(st));
  }
  // A file's id comes from its first 16 KiB, its length and its name; the
  // set orders its files, and so the weights of their blocks, by id.
  {
    std::vector<char> first(16384);
    for (auto& st : files) {
      const auto n = static_cast<std::size_t>(std::min<std::int64_t>(16384, st.entry.length));
      OpenForRead in(fs, st.path, f);
      const std::size_t got = fs.read(f, first.data(), n);
      in.close();
      if (got != n) throw RuntimeError(kInputPastEnd, "file ends before its length", st.path);
      FileEntry& e = st.entry;
      e.hash16k = md5(first.data(), n);
      Md5 id;
      id.update(e.hash16k.data(), 16);
      Bytes len;
      put64(len, static_cast<std::uint64_t>(e.length));
      id.update(len.data(), len.size());
      id.update(e.name.data(), e.name.size());
      e.id = id.finish();
    }
    std::stable_sort(files.begin(), files.end(),
                     [](const FileState& a, const FileState& b) { return idLess(a.entry.id, b.entry.id); });
  }
  std::vector<Source> sources;
  std::vector<std::size_t> fileOf;
  std::vector<std::uint32_t> logs;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::int64_t length = files[i].entry.length;
    for (std::int64_t off = 0; off < length; off += B) {
      sources.push_back({&files[i].path, off, std::min(B, length - off)});
      fileOf.push_back(i);
      logs.push_back(inputConstantLog(static_cast<std::uint32_t>(logs.size())));
    }
  }
  // Known once every block has been read.
  Digest setId{};
  Bytes critical;

  // The set's files as they are written: temporaries without a name (file
  // numbers from f + 1), kept open until every one is complete.
  struct Written {
    int f;
    std::string name;
    bool named = false;
  };
  std::vector<Written> written;
  auto cleanUp = [&] {
    // Closed before it is named, a temporary goes; one named already is ours.
    for (const auto& w : written) {
      if (w.f >= 0) try {
        fs.close(w.f);
      } catch (...) {
      }
      if (w.named) try {
          fs.kill(w.name);
        } catch (...) {
        }
    }
  };
  try {
    auto onSource = [&](std::size_t s, const std::uint8_t* padded) {
      FileState& st = files[fileOf[s]];
      const Source& src = sources[s];
      const auto len = static_cast<std::size_t>(src.length);
      const std::uint32_t crc = crc32Update(0, reinterpret_cast<const char*>(padded), static_cast<std::size_t>(B));
      // The file's digest and the block's over the same bytes at once,
      // except for a file's short last block, which is padded for its own.
      Md5 block;
      if (len == static_cast<std::size_t>(B)) {
        Md5::updateBoth(st.full, block, padded, len);
      } else {
        st.full.update(padded, len);
        block.update(padded, static_cast<std::size_t>(B));
      }
      putDigest(st.checks, block.finish());
      put32(st.checks, crc);
    };
    auto finishChecksums = [&] {
      for (auto& st : files) st.entry.hash = st.full.finish();
      std::vector<Digest> ids;
      for (const auto& st : files) ids.push_back(st.entry.id);
      std::sort(ids.begin(), ids.end(), idLess);
      Bytes main;
      put64(main, static_cast<std::uint64_t>(B));
      put32(main, static_cast<std::uint32_t>(ids.size()));
      for (const auto& id : ids) putDigest(main, id);
      setId = md5(main.data(), main.size());
      critical.clear();
      appendPacket(critical, setId, kMain, main);
      for (const auto& st : files) {
        Bytes desc;
        putDigest(desc, st.entry.id);
        putDigest(desc, st.entry.hash);
        putDigest(desc, st.entry.hash16k);
        put64(desc, static_cast<std::uint64_t>(st.entry.length));
        desc.insert(desc.end(), st.entry.name.begin(), st.entry.name.end());
        padTo4(desc);
        appendPacket(critical, setId, kFileDesc, desc);
      }
      for (const auto& st : files) {
        Bytes ifsc;
        putDigest(ifsc, st.entry.id);
        ifsc.insert(ifsc.end(), st.checks.begin(), st.checks.end());
        appendPacket(critical, setId, kIfsc, ifsc);
      }
      Bytes creator(kCreatorText, kCreatorText + std::strlen(kCreatorText));
      padTo4(creator);
      appendPacket(critical, setId, kCreator, creator);
    };
    auto startFile = [&](const std::string& name) {
      const int n = f + 1 + static_cast<int>(written.size());
      fs.createTemporary(n, mode, name);
      written.push_back({n, name});
    };
    auto writeBytes = [&](const Bytes& b) {
      fs.write(written.back().f, reinterpret_cast<const char*>(b.data()), b.size());
    };
    // A file ends with the critical packets; it is on the disk before the
    // set takes its names.
    auto finishFile = [&] {
      writeBytes(critical);
      fs.flush(written.back().f);
    };

    std::size_t volume = 0;
    auto onOutput = [&](std::size_t o, const std::uint8_t* data) {
      if (o == 0) finishChecksums();
      const auto& v = layout.volumes[volume];
      if (static_cast<std::int64_t>(o) == v.first) startFile(v.name);
      Bytes exponent;
      put32(exponent, static_cast<std::uint32_t>(o));
      // The block is written from where it is, after the header and exponent.
      const std::span<const std::uint8_t> block(data, static_cast<std::size_t>(B));
      Bytes head = header(setId, kRecvSlic, {exponent, block});
      head.insert(head.end(), exponent.begin(), exponent.end());
      writeBytes(head);
      fs.write(written.back().f, reinterpret_cast<const char*>(data), static_cast<std::size_t>(B));
      if (static_cast<std::int64_t>(o) == v.first + v.count - 1) {
        finishFile();
        ++volume;
      }
    };
    combine(
        fs, f, sources, B, static_cast<std::size_t>(layout.recoveryBlocks),
        [&](std::size_t o, std::size_t s) {
          return gf::exp(static_cast<std::uint32_t>((std::uint64_t{logs[s]} * o) % 65535));
        },
        onSource, onOutput, watch);
    startFile(layout.indexName);
    finishFile();
    checkStop(watch);
    // Every file complete: the set takes its names, replacing those of an
    // older set.
    for (auto& w : written) {
      fs.nameTemporary(w.f, w.name, true);
      w.named = true;
    }
    for (auto& w : written) {
      const int n = w.f;
      w.f = -1;
      fs.close(n);
    }
    written.clear();
  } catch (...) {
    cleanUp();
    throw;
  }
  return layout;
}

// ---------------------------------------------------------------- reading

bool RecoverySet::usable() const {
  if (blockSize <= 0 || blockSize % 4 != 0) return false;
  for (const auto& file : files)
    if (!file.described) return false;
  return inputBlocks() <= kMaxInputBlocks;
}

std::int64_t RecoverySet::inputBlocks() const {
  std::int64_t n = 0;
  for (const auto& file : files) n += file.blockCount(blockSize);
  return n;
}

bool isSetFile(const std::string& name) {
  if (name.size() < 5) return false;
  std::string end = name.substr(name.size() - 5);
  for (auto& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return end == ".par2";
}

std::vector<RecoverySet> readSets(FileServices& fs, int f, const std::vector<std::string>& paths,
                                  const Watch& watch) {
  struct Found {
    bool haveMain = false;
    std::int64_t blockSize = 0;
    std::vector<Digest> ids;
    std::map<Digest, FileEntry> files;
    std::map<std::uint32_t, RecoveryBlock> recovery;
    std::set<std::string> paths;
  };
  std::map<Digest, Found> sets;
  std::int64_t total = 0, done = 0;
  for (const auto& p : paths) total += fs.fileLen(p);
  constexpr std::size_t kWindow = 1 << 20;
  std::vector<std::uint8_t> buf(kWindow);
  // Packets other than recovery blocks are small; longer ones are not kept.
  constexpr std::uint64_t kMaxKept = std::uint64_t{64} << 20;

  for (const auto& path : paths) {
    const std::int64_t length = fs.fileLen(path);
    OpenForRead in(fs, path, f);
    {
      std::int64_t pos = 0;  // 0-based
      while (pos + static_cast<std::int64_t>(kHeader) <= length) {
        checkStop(watch);
        const std::size_t got = fs.read(f, reinterpret_cast<char*>(buf.data()), kWindow, pos + 1);
        if (got < kHeader) break;
        // The next packet start in this window.
        std::size_t at = 0;
        bool found = false;
        for (; at + 8 <= got; ++at)
          if (buf[at] == 'P' && std::memcmp(buf.data() + at, kMagic, 8) == 0) {
            found = true;
            break;
          }
        if (!found) {
          pos += static_cast<std::int64_t>(got) - 7;
          if (got < kWindow) break;
          continue;
        }
        const std::int64_t start = pos + static_cast<std::int64_t>(at);
        std::uint8_t head[kHeader];
        if (fs.read(f, reinterpret_cast<char*>(head), kHeader, start + 1) != kHeader) break;
        const std::uint64_t len = get64(head + 8);
        if (len < kHeader || len % 4 != 0 || len > static_cast<std::uint64_t>(length - start)) {
          pos = start + 1;
          continue;
        }
        // The packet's MD5 over set id, type and body.
        const Digest setId = getDigest(head + 32);
        Type type;
        std::memcpy(type.data(), head + 48, 16);
        if (type == kRecvSlic) {
          // Located by its header: its data is checked when it is used.
          std::uint8_t e[4];
          if (len >= kHeader + 4 && fs.read(f, reinterpret_cast<char*>(e), 4, start + static_cast<std::int64_t>(kHeader) + 1) == 4) {
            Found& set = sets[setId];
            set.recovery.emplace(get32(e), RecoveryBlock{get32(e), path, start + static_cast<std::int64_t>(kHeader) + 4,
                                                         static_cast<std::int64_t>(len - kHeader - 4), getDigest(head + 16)});
            set.paths.insert(path);
          }
          pos = start + static_cast<std::int64_t>(len);
          continue;
        }
        Bytes body;
        Md5 m;
        m.update(head + 32, 32);
        for (std::uint64_t off = kHeader; off < len;) {
          const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, len - off));
          if (fs.read(f, reinterpret_cast<char*>(buf.data()), n, start + static_cast<std::int64_t>(off) + 1) != n)
            break;
          m.update(buf.data(), n);
          if (len <= kMaxKept) body.insert(body.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(n));
          off += n;
        }
        if (m.finish() != getDigest(head + 16)) {
          pos = start + 1;
          continue;
        }
        pos = start + static_cast<std::int64_t>(len);
        Found& set = sets[setId];
        set.paths.insert(path);
        const std::size_t n = body.size();
        if (type == kMain && n >= 12 && !set.haveMain) {
          const std::uint32_t count = get32(body.data() + 8);
          if ((n - 12) / 16 >= count) {
            set.haveMain = true;
            set.blockSize = static_cast<std::int64_t>(get64(body.data()));
            for (std::uint32_t i = 0; i < count; ++i) set.ids.push_back(getDigest(body.data() + 12 + 16 * i));
          }
        } else if (type == kFileDesc && n >= 56) {
          FileEntry& e = set.files[getDigest(body.data())];
          if (!e.described) {
            e.id = getDigest(body.data());
            e.hash = getDigest(body.data() + 16);
            e.hash16k = getDigest(body.data() + 32);
            e.length = static_cast<std::int64_t>(get64(body.data() + 48));
            std::string name(reinterpret_cast<const char*>(body.data() + 56), n - 56);
            name.erase(std::find(name.begin(), name.end(), '\0'), name.end());
            e.name = name;
            e.described = e.length >= 0;
          }
        } else if (type == kIfsc && n >= 16) {
          FileEntry& e = set.files[getDigest(body.data())];
          if (!e.checked) {
            e.id = getDigest(body.data());
            for (std::size_t at2 = 16; at2 + 20 <= n; at2 += 20) {
              BlockCheck c;
              c.md5 = getDigest(body.data() + at2);
              c.crc = get32(body.data() + at2 + 16);
              e.blocks.push_back(c);
            }
            e.checked = true;
          }
        }
        // Anything else (creator, other names, unknown packets) is passed over.
      }
    }
    in.close();
    done += length;
    if (watch.progress) watch.progress(done, total);
  }

  std::vector<RecoverySet> result;
  for (auto& [id, found] : sets) {
    if (!found.haveMain) continue;
    RecoverySet s;
    s.id = id;
    s.blockSize = found.blockSize;
    for (const auto& fileId : found.ids) {
      auto it = found.files.find(fileId);
      FileEntry e = it != found.files.end() ? it->second : FileEntry{};
      e.id = fileId;
      s.files.push_back(e);
    }
    for (auto& [e, block] : found.recovery) s.recovery.push_back(block);
    s.paths.assign(found.paths.begin(), found.paths.end());
    result.push_back(std::move(s));
  }
  return result;
}

// -------------------------------------------------------------- verifying

bool Verification::complete() const {
  for (const auto& file : files)
    if (file.status != FileStatus::Complete) return false;
  return true;
}

Verification verify(FileServices& fs, int f, const RecoverySet& set, const std::string& folder, const Watch& watch,
                    Depth depth) {
  Verification v;
  v.recoveryBlocks = static_cast<std::int64_t>(set.recovery.size());
  const std::int64_t B = set.blockSize;
  std::int64_t total = 0, done = 0;
  for (const auto& file : set.files) total += file.length;
  if (watch.progress) watch.progress(0, total);
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(B));
  for (const auto& file : set.files) {
    FileCheck c;
    const std::int64_t blocks = file.blockCount(B);
    c.good.assign(static_cast<std::size_t>(blocks), false);
    const std::string path = folder + file.name;
    if (file.name.empty() || fs.kind(path, true) != FileKind::Regular) {
      c.status = FileStatus::Missing;
    } else if (c.length = fs.fileLen(path); depth == Depth::Lengths && c.length == file.length) {
      c.good.assign(c.good.size(), true);
      done += file.length;
    } else {
      OpenForRead in(fs, path, f);
      {
        Md5 full;
        for (std::int64_t b = 0; b < blocks; ++b) {
          checkStop(watch);
          const std::int64_t off = b * B;
          const auto want = static_cast<std::size_t>(std::min(B, file.length - off));
          done += static_cast<std::int64_t>(want);
          if (off + static_cast<std::int64_t>(want) > c.length) break;
          if (fs.read(f, reinterpret_cast<char*>(buf.data()), want, off + 1) != want) break;
          std::fill(buf.begin() + static_cast<std::ptrdiff_t>(want), buf.end(), 0);
          if (file.checked && static_cast<std::size_t>(b) < file.blocks.size()) {
            const BlockCheck& check = file.blocks[static_cast<std::size_t>(b)];
            c.good[static_cast<std::size_t>(b)] =
                crc32Update(0, reinterpret_cast<const char*>(buf.data()), buf.size()) == check.crc &&
                (depth != Depth::Full || md5(buf.data(), buf.size()) == check.md5);
          } else {
            full.update(buf.data(), want);
          }
          if (watch.progress && b % 16 == 15) watch.progress(done, total);
        }
        // Without block checksums only the whole file can be judged.
        if (!file.checked && c.length == file.length && full.finish() == file.hash)
          c.good.assign(c.good.size(), true);
      }
      in.close();
    }
    c.damagedBlocks = static_cast<std::int64_t>(std::count(c.good.begin(), c.good.end(), false));
    if (c.status != FileStatus::Missing && (c.damagedBlocks > 0 || c.length != file.length))
      c.status = FileStatus::Damaged;
    v.damagedBlocks += c.damagedBlocks;
    v.files.push_back(std::move(c));
  }
  if (watch.progress) watch.progress(total, total);
  return v;
}

// -------------------------------------------------------------- repairing

// What a repair keeps between passes: the damaged blocks, the weights that
// give each of them from the recovery blocks, and the blocks of the pass.
struct Repair::State {
  std::int64_t blockSize = 0;
  std::deque<std::string> paths;           // the set's files, then the recovery blocks' files
  std::vector<Source> sources;             // the good blocks, then the recovery blocks used
  std::vector<std::uint32_t> sourceLogs;   // input constants of the good ones
  std::size_t goodCount = 0;
  std::vector<std::uint32_t> exponents;    // of the recovery blocks used
  std::vector<std::int64_t> damaged;       // input block numbers, in order
  std::vector<const BlockCheck*> checks;   // what each should hash to, when known
  // Row k: damaged block k as a sum of the recovery rows.
  std::vector<std::vector<std::uint16_t>> w;
  // The first damaged block of each file (index into damaged), and one past
  // the last file's.
  std::vector<std::size_t> fileFirst;
  // The blocks of the last pass (indices into damaged), where each one is
  // in data (-1: not in it), and how many blocks the passes have made.
  std::vector<std::size_t> pass;
  std::vector<std::ptrdiff_t> slot;
  std::vector<std::uint8_t> data;
  std::int64_t made = 0;
};

Repair::~Repair() = default;

Repair::Repair(FileServices& fs, int f, const RecoverySet& set, const Verification& v, const std::string& folder,
               const Watch& watch, std::int64_t memory)
    : fs_(fs), f_(f), set_(set), v_(v), folder_(folder), watch_(watch), memory_(memory), s_(std::make_unique<State>()) {
  State& st = *s_;
  const std::int64_t B = set.blockSize;
  st.blockSize = B;
  // Input blocks in the set's order: the damaged ones are unknowns, the
  // good ones sources. Paths first: sources point into them.
  for (const auto& file : set.files) st.paths.push_back(folder + file.name);
  std::vector<std::uint32_t> damagedLogs;
  std::int64_t index = 0;
  for (std::size_t i = 0; i < set.files.size(); ++i) {
    const auto& file = set.files[i];
    for (std::int64_t b = 0; b < file.blockCount(B); ++b, ++index) {
      const std::uint32_t l = inputConstantLog(static_cast<std::uint32_t>(index));
      if (v.files[i].good[static_cast<std::size_t>(b)]) {
        st.sources.push_back({&st.paths[i], b * B, std::min(B, file.length - b * B)});
        st.sourceLogs.push_back(l);
      } else {
        st.damaged.push_back(index);
        damagedLogs.push_back(l);
        st.checks.push_back(file.checked && static_cast<std::size_t>(b) < file.blocks.size()
                                ? &file.blocks[static_cast<std::size_t>(b)]
                                : nullptr);
      }
    }
  }
  const std::size_t m = st.damaged.size();
  if (m == 0) return;
  if (set.recovery.size() < m) throw RepairFailed("not enough recovery blocks");

  // Rows: intact recovery blocks (a few spare ones, for the rare system
  // that a first choice leaves singular); columns: the damaged blocks'
  // weights.
  std::vector<const RecoveryBlock*> chosen;
  {
    std::vector<std::uint8_t> body(static_cast<std::size_t>(4 + B));
    for (const auto& block : set.recovery) {
      if (chosen.size() == m + 16) break;
      checkStop(watch);
      if (block.length != B) continue;
      OpenForRead in(fs, block.path, f);
      if (fs.read(f, reinterpret_cast<char*>(body.data()), body.size(), block.offset - 4 + 1) != body.size()) continue;
      in.close();
      const Bytes h = header(set.id, kRecvSlic, {body});
      if (getDigest(h.data() + 16) == block.packetHash) chosen.push_back(&block);
    }
  }
  if (chosen.size() < m) throw RepairFailed("not enough intact recovery blocks");
  const std::size_t rows = chosen.size();
  std::vector<std::vector<std::uint16_t>> a(rows, std::vector<std::uint16_t>(m));
  auto& w = st.w;
  w.assign(rows, std::vector<std::uint16_t>(rows, 0));
  for (std::size_t r = 0; r < rows; ++r) {
    const std::uint32_t e = chosen[r]->exponent;
    for (std::size_t k = 0; k < m; ++k)
      a[r][k] = gf::exp(static_cast<std::uint32_t>((std::uint64_t{damagedLogs[k]} * e) % 65535));
    w[r][r] = 1;
  }
  const std::uint16_t* expT = gf::expTable();
  const std::uint32_t* logT = gf::logTable();
  // Gauss-Jordan elimination; w records the row operations, so that row k
  // of the result is damaged block k as a sum of recovery rows.
  for (std::size_t k = 0; k < m; ++k) {
    std::size_t pivot = k;
    while (pivot < rows && a[pivot][k] == 0) ++pivot;
    if (pivot == rows) throw RepairFailed("the recovery blocks do not determine the damaged ones");
    std::swap(a[pivot], a[k]);
    std::swap(w[pivot], w[k]);
    const std::uint16_t scale = gf::inv(a[k][k]);
    for (auto& x : a[k]) x = gf::mul(x, scale);
    for (auto& x : w[k]) x = gf::mul(x, scale);
    // The pivot row's nonzero entries in logarithms, subtracted from every
    // other row that has this column.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> termsA, termsW;  // column, logarithm
    for (std::size_t j = 0; j < m; ++j)
      if (a[k][j]) termsA.emplace_back(static_cast<std::uint32_t>(j), logT[a[k][j]]);
    for (std::size_t j = 0; j < rows; ++j)
      if (w[k][j]) termsW.emplace_back(static_cast<std::uint32_t>(j), logT[w[k][j]]);
    for (std::size_t r = 0; r < rows; ++r) {
      if (r == k || a[r][k] == 0) continue;
      const std::uint32_t lf = logT[a[r][k]];
      for (const auto& [j, l] : termsA) a[r][j] ^= expT[lf + l];
      for (const auto& [j, l] : termsW) w[r][j] ^= expT[lf + l];
    }
  }
  w.resize(m);  // the spare rows were only needed to find pivots
  st.slot.assign(m, -1);
  {
    std::int64_t blocksBefore = 0;
    for (const auto& file : set.files) {
      st.fileFirst.push_back(static_cast<std::size_t>(
          std::lower_bound(st.damaged.begin(), st.damaged.end(), blocksBefore) - st.damaged.begin()));
      blocksBefore += file.blockCount(B);
    }
    st.fileFirst.push_back(m);
  }
  for (std::size_t i = 0; i < set.files.size(); ++i) order_.push_back(i);
  // damaged_k = sum_r w[k][r] * (recovery_r - sum_good c_s^e_r * good_s):
  // one combination over the good blocks and the recovery blocks that
  // weigh in (a spare one that no pivot took is not read).
  st.goodCount = st.sources.size();
  std::vector<std::size_t> used;
  for (std::size_t r = 0; r < rows; ++r) {
    bool weighs = false;
    for (std::size_t k = 0; k < m && !weighs; ++k) weighs = w[k][r] != 0;
    if (!weighs) continue;
    used.push_back(r);
    st.paths.push_back(chosen[r]->path);
    st.sources.push_back({&st.paths.back(), chosen[r]->offset, B});
    st.exponents.push_back(chosen[r]->exponent);
  }
  for (auto& row : w) {
    std::vector<std::uint16_t> kept;
    kept.reserve(used.size());
    for (const std::size_t r : used) kept.push_back(row[r]);
    row = std::move(kept);
  }
}

std::int64_t Repair::blocks() const { return static_cast<std::int64_t>(s_->damaged.size()); }

void Repair::streamOrder(const std::vector<std::size_t>& files) { order_ = files; }

// Rebuilds damaged block k and those that stream() will want after it, in
// the order of the files it streams, as many as the memory holds: one read
// of every good block and recovery block.
void Repair::rebuild(std::size_t k) {
  State& st = *s_;
  const std::int64_t B = st.blockSize;
  const std::size_t S = static_cast<std::size_t>(roundUp(B, kRegionUnit));
  const std::size_t sources = st.sources.size();
  // Half the memory for the blocks combine makes, half for those kept; the
  // weights of a pass no larger than that either.
  const auto half = static_cast<std::size_t>(memory_ / 2);
  const std::size_t most = std::max<std::size_t>(1, std::min(half / S, half / (2 * sources)));
  for (const std::size_t old : st.pass) st.slot[old] = -1;
  st.pass.clear();
  // From k to the end of its file, then the files streamed after it.
  const auto fileOf = static_cast<std::size_t>(
      std::upper_bound(st.fileFirst.begin(), st.fileFirst.end(), k) - st.fileFirst.begin() - 1);
  auto at = std::find(order_.begin(), order_.end(), fileOf);
  for (std::size_t j = k; j < st.fileFirst[fileOf + 1] && st.pass.size() < most; ++j) st.pass.push_back(j);
  if (at != order_.end())
    for (++at; at != order_.end() && st.pass.size() < most; ++at)
      for (std::size_t j = st.fileFirst[*at]; j < st.fileFirst[*at + 1] && st.pass.size() < most; ++j)
        st.pass.push_back(j);
  const std::size_t count = st.pass.size();
  if (onPass) onPass(st.made, static_cast<std::int64_t>(count));
  st.data.assign(count * static_cast<std::size_t>(B), 0);

  // The weights of the pass's blocks, in logarithms: one addition and one
  // look-up per term.
  const std::uint16_t* expT = gf::expTable();
  const std::uint32_t* logT = gf::logTable();
  const std::size_t rows = st.exponents.size();
  std::vector<std::vector<std::uint32_t>> logW(count), termRow(count);
  for (std::size_t k = 0; k < count; ++k)
    for (std::size_t r = 0; r < rows; ++r)
      if (const std::uint16_t x = st.w[st.pass[k]][r]) {
        logW[k].push_back(logT[x]);
        termRow[k].push_back(static_cast<std::uint32_t>(r));
      }
  std::vector<std::uint16_t> coef(count * sources, 0);
  std::vector<std::uint32_t> logPowers(rows);
  for (std::size_t s = 0; s < st.goodCount; ++s) {
    for (std::size_t r = 0; r < rows; ++r)
      logPowers[r] = static_cast<std::uint32_t>((std::uint64_t{st.sourceLogs[s]} * st.exponents[r]) % 65535);
    for (std::size_t k = 0; k < count; ++k) {
      std::uint16_t c = 0;
      const std::uint32_t* lw = logW[k].data();
      const std::uint32_t* tr = termRow[k].data();
      for (std::size_t t = 0, n = logW[k].size(); t < n; ++t) c ^= expT[lw[t] + logPowers[tr[t]]];
      coef[k * sources + s] = c;
    }
  }
  for (std::size_t k = 0; k < count; ++k)
    for (std::size_t r = 0; r < rows; ++r) coef[k * sources + st.goodCount + r] = st.w[st.pass[k]][r];

  combine(
      fs_, f_, st.sources, B, count, [&](std::size_t o, std::size_t s) { return coef[o * sources + s]; }, nullptr,
      [&](std::size_t o, const std::uint8_t* data) {
        // A rebuilt block must be the one the set describes.
        if (const BlockCheck* check = st.checks[st.pass[o]];
            check && (crc32Update(0, reinterpret_cast<const char*>(data), static_cast<std::size_t>(B)) != check->crc ||
                      md5(data, static_cast<std::size_t>(B)) != check->md5))
          throw RepairFailed("a rebuilt block does not match its checksums");
        std::memcpy(st.data.data() + o * static_cast<std::size_t>(B), data, static_cast<std::size_t>(B));
      },
      watch_, std::numeric_limits<std::int64_t>::max());
  for (std::size_t i = 0; i < count; ++i) st.slot[st.pass[i]] = static_cast<std::ptrdiff_t>(i);
  st.made += static_cast<std::int64_t>(count);
}

void Repair::stream(std::size_t file, const std::function<void(const char*, std::size_t)>& out, const Watch& watch) {
  State& st = *s_;
  const std::int64_t B = set_.blockSize;
  std::int64_t first = 0;
  for (std::size_t i = 0; i < file; ++i) first += set_.files[i].blockCount(B);
  const FileEntry& e = set_.files[file];
  const std::string path = folder_ + e.name;
  std::vector<char> buf(static_cast<std::size_t>(B));
  bool open = false;
  if (watch.progress) watch.progress(0, e.length);
  // The damaged blocks come in order: the next one of this file.
  std::size_t next = static_cast<std::size_t>(
      std::lower_bound(st.damaged.begin(), st.damaged.end(), first) - st.damaged.begin());
  try {
    for (std::int64_t b = 0; b < e.blockCount(B); ++b) {
      checkStop(watch);
      const auto n = static_cast<std::size_t>(std::min(B, e.length - b * B));
      if (next < st.damaged.size() && st.damaged[next] == first + b) {
        if (st.slot[next] < 0) {
          // The pass reads through the same file number.
          if (open) fs_.close(f_);
          open = false;
          rebuild(next);
        }
        out(reinterpret_cast<const char*>(st.data.data() + static_cast<std::size_t>(st.slot[next]) * static_cast<std::size_t>(B)), n);
        ++next;
      } else {
        if (!open) {
          fs_.openRead(path, f_);
          open = true;
        }
        if (fs_.read(f_, buf.data(), n, b * B + 1) != n)
          throw RuntimeError(kInputPastEnd, "file ends before its recorded length", path);
        out(buf.data(), n);
      }
      if (watch.progress) watch.progress(std::min(e.length, (b + 1) * B), e.length);
    }
  } catch (...) {
    if (open) try {
        fs_.close(f_);
      } catch (...) {
      }
    throw;
  }
  if (open) fs_.close(f_);
}

}  // namespace vexo::par2
