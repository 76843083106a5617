// vexo-cli as a user runs it: the built program on real files, with its
// exit status, the files it leaves and every line it prints; without a
// terminal, on a pseudo-terminal, and stopped by a signal.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "doubles.h"

namespace {

namespace stdfs = std::filesystem;

struct Result {
  int status = -1;
  std::string out, err;
};

using vexo::test::pattern;
using vexo::test::readFile;
using vexo::test::writeFile;
std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// A fresh directory, current while the test runs.
class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = stdfs::current_path();
    char tmpl[] = "/tmp/vexo-cli-test-XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    stdfs::current_path(dir_);
    outputs_ = dir_ + ".out";
    stdfs::create_directory(outputs_);
  }
  void TearDown() override {
    stdfs::current_path(previous_);
    std::error_code ec;
    stdfs::remove_all(dir_, ec);
    stdfs::remove_all(outputs_, ec);
  }

  // Names in the directory, sorted.
  static std::vector<std::string> here(const std::string& dir = ".") {
    std::vector<std::string> names;
    for (const auto& e : stdfs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  // The child's side of a run: the program with the arguments, stdout and
  // stderr to files unless given.
  [[noreturn]] void exec(const std::vector<std::string>& args, int in, int err) {
    const int out = ::open((outputs_ + "/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (err < 0) err = ::open((outputs_ + "/err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    std::vector<char*> argv{const_cast<char*>(VEXO_CLI)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(VEXO_CLI, argv.data());
    ::_exit(127);
  }

  Result collect(pid_t pid, std::string err = {}, bool errFromFile = true) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    Result r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    r.out = readFile(outputs_ + "/out");
    r.err = errFromFile ? readFile(outputs_ + "/err") : err;
    return r;
  }

  // Runs the program without a terminal: standard input is /dev/null.
  Result run(const std::vector<std::string>& args) {
    const pid_t pid = ::fork();
    if (pid == 0) exec(args, ::open("/dev/null", O_RDONLY), -1);
    return collect(pid);
  }

  // Runs the program with standard input and standard error on a
  // pseudo-terminal, typing `typed` on it; returns what the terminal showed.
  Result runOnTerminal(const std::vector<std::string>& args, const std::string& typed) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    EXPECT_GE(master, 0);
    ::grantpt(master);
    ::unlockpt(master);
    const std::string slaveName = ::ptsname(master);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::setsid();
      const int slave = ::open(slaveName.c_str(), O_RDWR);
      exec(args, slave, slave);
    }
    if (!typed.empty()) (void)!::write(master, typed.data(), typed.size());
    std::string shown;
    char buf[4096];
    for (;;) {
      const ssize_t n = ::read(master, buf, sizeof buf);
      if (n <= 0) break;  // EIO once the child has closed the terminal
      shown.append(buf, static_cast<std::size_t>(n));
    }
    ::close(master);
    return collect(pid, shown, false);
  }

  std::string dir_, outputs_;
  stdfs::path previous_;
};

const std::string kSource = pattern(3'000'007);

// The CRC-32 (as zlib computes it) of the bytes, as 8 hexadecimal digits.
std::string crcHex(const std::string& bytes) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (unsigned char b : bytes) {
    c ^= b;
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
  }
  char buf[9];
  std::snprintf(buf, sizeof buf, "%08X", ~c);
  return buf;
}

// Whether the pieces, in order, hold the source.
void expectPieces(const std::vector<std::string>& names, const std::vector<std::int64_t>& lengths) {
  ASSERT_EQ(names.size(), lengths.size());
  std::string joined;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string bytes = readFile(names[i]);
    EXPECT_EQ(static_cast<std::int64_t>(bytes.size()), lengths[i]) << names[i];
    joined += bytes;
  }
  EXPECT_TRUE(joined == kSource);
}

TEST_F(CliTest, SplitAtEachSizeFormAndNaming) {
  const struct {
    std::vector<std::string> options;
    std::vector<std::string> pieces;
    std::vector<std::int64_t> lengths;
  } cases[] = {
      {{}, {"report.doc.1", "report.doc.2", "report.doc.3"}, {1457664, 1457664, 84679}},
      {{"-s", "1.44M(DOS/V)"}, {"report.doc.1", "report.doc.2", "report.doc.3"}, {1457664, 1457664, 84679}},
      {{"--size=1.2M(PC98)"}, {"report.doc.1", "report.doc.2", "report.doc.3"}, {1250304, 1250304, 499399}},
      {{"-s650k"}, {"report.doc.1", "report.doc.2", "report.doc.3", "report.doc.4", "report.doc.5"},
       {650000, 650000, 650000, 650000, 400007}},
      {{"-s", "1.5MiB"}, {"report.doc.1", "report.doc.2"}, {1572864, 1427143}},
      {{"-s", "1,000,000"}, {"report.doc.1", "report.doc.2", "report.doc.3", "report.doc.4"},
       {1000000, 1000000, 1000000, 7}},
      {{"-s", "2MB", "--short"}, {"report.1", "report.2"}, {2000000, 1000007}},
      {{"-s", "2MB", "--digits3"}, {"report.doc.001", "report.doc.002"}, {2000000, 1000007}},
      {{"-s", "2MB", "--short", "--digits3"}, {"report.001", "report.002"}, {2000000, 1000007}},
  };
  for (const auto& c : cases) {
    for (const auto& name : here()) stdfs::remove(name);
    writeFile("report.doc", kSource);
    std::vector<std::string> args{"split"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back("report.doc");
    const Result r = run(args);
    const std::string shown = c.options.empty() ? "(none)" : c.options[0];
    EXPECT_EQ(r.status, 0) << shown;
    // The summary's second line names the folder.
    EXPECT_TRUE(r.out.starts_with("分割完了\n" + dir_ + " に ")) << shown;
    EXPECT_EQ(lines(r.out).size(), 2u) << shown;
    EXPECT_EQ(r.err, "") << shown;
    expectPieces(c.pieces, c.lengths);
    // The pieces, their record and the source: nothing else.
    std::vector<std::string> expected = c.pieces;
    expected.push_back("report.doc");
    const std::string& p = c.pieces[0];
    expected.push_back(p.substr(0, p.rfind('.') + 1) + "crc");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(here(), expected) << shown;
  }
}

TEST_F(CliTest, FileInAnotherFolderAndQuiet) {
  stdfs::create_directory("sub");
  writeFile("sub/report.doc", kSource);
  const Result r = run({"split", "-q", "sub/report.doc"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(here("sub"), (std::vector<std::string>{"report.doc", "report.doc.1", "report.doc.2", "report.doc.3",
                                                   "report.doc.crc"}));
  EXPECT_EQ(here(), std::vector<std::string>{"sub"});
}

class CliSetTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    writeFile("report.doc", kSource);
    ASSERT_EQ(run({"split", "report.doc"}).status, 0);
  }
  const std::vector<std::string> kSet{"report.doc.1", "report.doc.2", "report.doc.3", "report.doc.crc"};
};

TEST_F(CliSetTest, JoinFromAMiddlePieceDeleteAndQuestions) {
  // The source is there: without a terminal the overwrite question is No.
  Result r = run({"join", "report.doc.2"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(lines(r.err), (std::vector<std::string>{"vexo-cli: report.doc は既にあります．上書きしますか？",
                                                    "vexo-cli: いいえ（端末がないので．--yes で「はい」と答えます）"}));
  EXPECT_TRUE(readFile("report.doc") == kSource);

  stdfs::remove("report.doc");
  r = run({"join", "report.doc.2"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.out.starts_with("結合完了\n")) << r.out;
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(readFile("report.doc") == kSource);
  std::vector<std::string> all = kSet;
  all.insert(all.begin(), "report.doc");
  EXPECT_EQ(here(), all);  // the pieces stay without --delete

  // --yes replaces the joined file; --delete removes the pieces and record.
  r = run({"join", "--yes", "--delete", "report.doc.3"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.out.starts_with("結合完了\n")) << r.out;
  EXPECT_EQ(here(), std::vector<std::string>{"report.doc"});
  EXPECT_TRUE(readFile("report.doc") == kSource);
}

TEST_F(CliSetTest, OutputFolder) {
  // The pieces and their record go to the folder given, the source stays.
  stdfs::create_directory("out");
  Result r = run({"split", "-q", "-o", "out", "report.doc"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(here("out"), kSet);
  // The joined file goes to the folder given; the pieces are read where they are.
  stdfs::create_directory("joined");
  r = run({"join", "--output=joined", "out/report.doc.2"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(lines(r.out).at(0), "結合完了");
  EXPECT_EQ(here("joined"), std::vector<std::string>{"report.doc"});
  EXPECT_TRUE(readFile("joined/report.doc") == kSource);
  EXPECT_EQ(here("out"), kSet);
  // A folder that is not there: nothing written.
  r = run({"join", "-o", "missing", "out/report.doc.1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(stdfs::exists("missing"));
}

TEST_F(CliSetTest, JoinWithAnExtension) {
  stdfs::remove("report.doc");
  const Result r = run({"join", "--ext", "bin", "report.doc.1"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(readFile("report.doc.bin") == kSource);
}

TEST_F(CliSetTest, CheckWholeGapDamagedAndWithoutRecord) {
  const std::string crc = crcHex(kSource);
  const std::vector<std::string> pieceLines{"report.doc.1：1,457,664 バイト", "report.doc.2：1,457,664 バイト",
                                            "report.doc.3：84,679 バイト"};
  const std::string total = "分割ファイル 3 個，合計 3,000,007 バイト，CRC-32 " + crc;
  const std::string record = "記録 report.doc.crc：3,000,007 バイト，CRC-32 " + crc;

  struct Case {
    const char* what;
    std::function<void()> change;
    const char* piece;
    int status;
    std::vector<std::string> out;
  };
  std::string damaged = kSource;
  damaged[1457664 + 1000] ^= 1;
  const std::string damagedCrc = crcHex(damaged);
  std::vector<Case> cases{
      {"whole", [] {}, "report.doc.2", 0,
       {pieceLines[0], pieceLines[1], pieceLines[2], total, record, "分割ファイルは揃っていて，記録と合っています．"}},
      {"gap", [] { stdfs::remove("report.doc.2"); }, "report.doc.3", 3,
       {pieceLines[0], "分割ファイル report.doc.2 が見つかりません（その後に分割ファイルが 1 個あります）．",
        "分割ファイル 1 個，合計 1,457,664 バイト，CRC-32 " + crcHex(kSource.substr(0, 1457664)),
        record, "長さの合計 1,457,664 バイトが記録の 3,000,007 バイトと合いません．", "分割ファイルは揃っていません．"}},
      {"damaged",
       [] {
         std::string bytes = readFile("report.doc.2");
         bytes[1000] ^= 1;
         writeFile("report.doc.2", bytes);
       },
       "report.doc.1", 3,
       {pieceLines[0], pieceLines[1], pieceLines[2], "分割ファイル 3 個，合計 3,000,007 バイト，CRC-32 " + damagedCrc,
        record, "CRC-32 " + damagedCrc + " が記録の " + crc + " と合いません．", "分割ファイルは揃っていません．"}},
      {"without a record", [] { stdfs::remove("report.doc.crc"); }, "report.doc.1", 0,
       {pieceLines[0], pieceLines[1], pieceLines[2], total, "記録 report.doc.crc はありません．",
        "分割ファイルは揃っています（記録がないので中身は確かめていません）．"}},
      {"none", [] { for (const char* n : {"report.doc.1", "report.doc.2", "report.doc.3"}) stdfs::remove(n); },
       "report.doc.2", 3,
       {"分割ファイル report.doc.1 が見つかりません．", record, "分割ファイルは揃っていません．"}},
  };
  for (const auto& c : cases) {
    // Each case starts from the whole set.
    for (const auto& name : here()) stdfs::remove(name);
    writeFile("report.doc", kSource);
    ASSERT_EQ(run({"split", "-q", "report.doc"}).status, 0);
    stdfs::remove("report.doc");
    c.change();
    const auto before = here();
    std::map<std::string, std::string> bytes;
    for (const auto& n : before) bytes[n] = readFile(n);
    const Result r = run({"check", c.piece});
    EXPECT_EQ(r.status, c.status) << c.what;
    EXPECT_EQ(lines(r.out), c.out) << c.what;
    EXPECT_EQ(r.err, "") << c.what;
    // Nothing written, nothing removed.
    EXPECT_EQ(here(), before) << c.what;
    for (const auto& n : before) EXPECT_TRUE(readFile(n) == bytes[n]) << c.what << " " << n;
    // --quiet: the status alone.
    const Result q = run({"check", "--quiet", c.piece});
    EXPECT_EQ(q.status, c.status) << c.what;
    EXPECT_EQ(q.out + q.err, "") << c.what;
  }
}

TEST_F(CliTest, CheckFindsTheSetAJoinWouldTake) {
  const struct {
    const char* what;
    std::vector<std::pair<std::string, std::string>> files;
    const char* piece;
    int status;
    std::vector<std::string> out;
  } cases[] = {
      // Numbered from 0, as split -d writes them, without a record.
      {"from 0", {{"f.00", "aaaa"}, {"f.01", "bbbb"}, {"f.02", "cc"}}, "f.01", 0,
       {"f.00：4 バイト", "f.01：4 バイト", "f.02：2 バイト", "分割ファイル 3 個，合計 10 バイト，CRC-32 " + crcHex("aaaabbbbcc"),
        "記録 f.crc はありません．", "分割ファイルは揃っています（記録がないので中身は確かめていません）．"}},
      // A dated copy far past the set is no piece of it, and no gap.
      {"far number", {{"r.1", "aaaa"}, {"r.2", "bb"}, {"r.202401011230", "old"}}, "r.2", 0,
       {"r.1：4 バイト", "r.2：2 バイト", "分割ファイル 2 個，合計 6 バイト，CRC-32 " + crcHex("aaaabb"),
        "記録 r.crc はありません．", "分割ファイルは揃っています（記録がないので中身は確かめていません）．"}},
      // A piece cut short in the middle, without a record.
      {"odd length", {{"s.1", "aaaa"}, {"s.2", "bb"}, {"s.3", "cccc"}}, "s.3", 3,
       {"s.1：4 バイト", "s.2：2 バイト", "s.3：4 バイト", "分割ファイル s.2 の長さが他の分割ファイルと合いません．",
        "分割ファイル 3 個，合計 10 バイト，CRC-32 " + crcHex("aaaabbcccc"), "記録 s.crc はありません．",
        "分割ファイルは揃っていません．"}},
  };
  for (const auto& c : cases) {
    for (const auto& name : here()) stdfs::remove(name);
    for (const auto& [name, bytes] : c.files) writeFile(name, bytes);
    const Result r = run({"check", c.piece});
    EXPECT_EQ(r.status, c.status) << c.what;
    EXPECT_EQ(lines(r.out), c.out) << c.what;
    EXPECT_EQ(r.err, "") << c.what;
  }
}

TEST_F(CliTest, UsageAndRefusals) {
  writeFile("report.doc", kSource);
  writeFile("a.1", "x");
  const std::string hint = "vexo-cli: 使い方は vexo-cli --help で見られます．";
  const struct {
    std::vector<std::string> args;
    int status;
    std::string firstErr;
  } cases[] = {
      {{}, 2, "vexo-cli: コマンドがありません"},
      {{"frob", "x"}, 2, "vexo-cli: 知らないコマンドです：frob"},
      {{"split"}, 2, "vexo-cli: FILE がありません"},
      {{"split", "report.doc", "other"}, 2, "vexo-cli: 余計な引数があります：other"},
      {{"split", "--frob", "report.doc"}, 2, "vexo-cli: 知らないオプションです：--frob"},
      {{"split", "-x", "report.doc"}, 2, "vexo-cli: 知らないオプションです：-x"},
      {{"split", "report.doc", "-s"}, 2, "vexo-cli: -s には SIZE が要ります"},
      {{"split", "--short=1", "report.doc"}, 2, "vexo-cli: --short は値を取りません"},
      {{"split", "-s", "1.5", "report.doc"}, 2, "vexo-cli: 1.5：分割サイズが正しくありません．1 バイトから 1TiB (1,099,511,627,776 バイト) までの大きさを，1457664，650M，25MB，1.5GiB のように入力して下さい．"},
      {{"join", "--delete"}, 2, "vexo-cli: PIECE がありません"},
      {{"check", "sub/"}, 2, "vexo-cli: ファイル名がありません：sub/"},
      {{"join", "--ext", "x", "--size", "1M", "a.1"}, 2, "vexo-cli: 知らないオプションです：--size"},
      // Refused without writing: a piece is not split, nor an ordinary file joined.
      {{"split", "a.1"}, 1, "vexo-cli: a.1 は分割ファイルの名前なので分割しません（結合は join で）．"},
      {{"join", "report.doc"}, 1, "vexo-cli: report.doc は分割ファイルの名前ではありません（.1 から .999 の番号で終わる名前）．"},
      {{"check", "report.doc"}, 1, "vexo-cli: report.doc は分割ファイルの名前ではありません（.1 から .999 の番号で終わる名前）．"},
      // Too small to split, and a file that is not there.
      {{"split", "-s", "1.44M(DOS/V)", "a.1x"}, 1, "vexo-cli: エラーです．エラー番号:53"},
      {{"split", "-s", "3000007", "report.doc"}, 1, "vexo-cli: ファイルが指定サイズ以下なので分割しませんでした．"},
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const auto& a : c.args) shown += a + " ";
    const Result r = run(c.args);
    EXPECT_EQ(r.status, c.status) << shown;
    EXPECT_EQ(r.out, "") << shown;
    const auto err = lines(r.err);
    ASSERT_FALSE(err.empty()) << shown;
    EXPECT_EQ(err[0], c.firstErr) << shown;
    if (c.status == 2) {
      EXPECT_EQ(err, (std::vector<std::string>{c.firstErr, hint})) << shown;
    }
    EXPECT_EQ(here(), (std::vector<std::string>{"a.1", "report.doc"})) << shown;
  }
}

TEST_F(CliTest, HelpAndVersion) {
  Result r = run({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "vexo-cli 2.3.0\n");
  for (const auto& args : {std::vector<std::string>{"--help"}, {"-h"}, {"split", "--help"}}) {
    r = run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(lines(r.out).at(0), "使い方:");
    EXPECT_EQ(r.err, "");
  }
  r = run({"--help"});
  for (const char* synopsis : {"  vexo-cli split [-s SIZE] [--short] [--digits3] [-o DIR] [-r PCT] FILE",
                               "  vexo-cli join [-o DIR] [--ext EXT] [--delete] PIECE", "  vexo-cli check PIECE",
                               "  vexo-cli repair PIECE"})
    EXPECT_NE(r.out.find(std::string(synopsis) + "\n"), std::string::npos) << synopsis;
}

TEST_F(CliSetTest, QuestionsAndProgressOnATerminal) {
  // Yes typed: the joined file is replaced. Enter alone is No for this
  // question, whose default is No.
  std::string before = readFile("report.doc");
  writeFile("report.doc", "old");
  Result r = runOnTerminal({"join", "report.doc.1"}, "\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("report.doc は既にあります．上書きしますか？ [y/N] "), std::string::npos) << r.err;
  EXPECT_EQ(readFile("report.doc"), "old");

  r = runOnTerminal({"join", "report.doc.1"}, "y\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.out.starts_with("結合完了\n")) << r.out;
  EXPECT_TRUE(readFile("report.doc") == before);
  // The bar was drawn and taken off again before the completion.
  EXPECT_NE(r.err.find("100%"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("\r\x1b[K"), std::string::npos);

  // --quiet: no bar.
  r = runOnTerminal({"check", "-q", "report.doc.1"}, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err.find('%'), std::string::npos) << r.err;
}

TEST_F(CliTest, InterruptedSplitLeavesNothingAndEnds130) {
  // A source long enough to be caught mid-split: sparse, so that making it
  // costs nothing.
  {
    std::ofstream("big.bin", std::ios::binary);
  }
  stdfs::resize_file("big.bin", std::uintmax_t{2} << 30);
  const pid_t pid = ::fork();
  if (pid == 0) exec({"split", "big.bin"}, ::open("/dev/null", O_RDONLY), -1);
  // Wait until it has read some megabytes of the source, then interrupt it.
  const std::string io = "/proc/" + std::to_string(pid) + "/io";
  for (int tries = 0; tries < 100000; ++tries) {
    std::ifstream in(io);
    std::string key;
    long long value = 0;
    bool far = false;
    while (in >> key >> value)
      if (key == "rchar:" && value > (8 << 20)) far = true;
    if (far || !in.eof()) break;
    ::usleep(1000);
  }
  ::kill(pid, SIGINT);
  const Result r = collect(pid);
  EXPECT_EQ(r.status, 130);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "vexo-cli: 中止しました．\n");
  EXPECT_EQ(here(), std::vector<std::string>{"big.bin"});
}

}  // namespace

// Recovery data through the command line: written with a split, reported
// by check, used by repair (damaged pieces replaced only with --yes) and
// by a join.
TEST_F(CliTest, RecoveryDataSplitCheckRepairJoin) {
  writeFile("report.doc", kSource);
  // 1,373 blocks of 2,188 bytes (667 a full piece); 824 recovery blocks.
  ASSERT_EQ(run({"split", "-q", "--recovery", "60", "report.doc"}).status, 0);
  const std::vector<std::string> set{"report.doc.par2", "report.doc.vol000+001.par2", "report.doc.vol511+313.par2"};
  for (const auto& n : set) EXPECT_TRUE(stdfs::exists(n)) << n;
  EXPECT_EQ(here().size(), 1u + 3u + 1u + 11u);  // source, pieces, record, index and 10 volumes
  const std::string piece2 = readFile("report.doc.2"), piece3 = readFile("report.doc.3");
  stdfs::remove("report.doc");
  stdfs::remove("report.doc.2");
  std::string hurt = piece3;
  hurt[5] ^= 1;
  writeFile("report.doc.3", hurt);

  const struct {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> tail;  // last lines of standard output
    bool piece2Back, piece3Back;
  } steps[] = {
      {{"check", "report.doc.1"}, 3,
       {"ない分割ファイル：report.doc.2", "壊れている分割ファイル：report.doc.3", "壊れたブロック 668 個を復元データで修復できます．"},
       false, false},
      {{"repair", "report.doc.1"}, 1, {"壊れたブロック 668 個を復元データで修復できます．", "作り直しました：report.doc.2"},
       true, false},
      {{"repair", "--yes", "report.doc.3"}, 0, {"壊れたブロック 1 個を復元データで修復できます．", "作り直しました：report.doc.3"},
       true, true},
      {{"repair", "report.doc.3"}, 0, {"分割ファイルは復元データと合っています．修復の必要はありません．"}, true, true},
  };
  for (const auto& s : steps) {
    const Result r = run(s.args);
    EXPECT_EQ(r.status, s.status) << s.args[0];
    const auto out = lines(r.out);
    ASSERT_GE(out.size(), s.tail.size());
    EXPECT_EQ(std::vector<std::string>(out.end() - static_cast<std::ptrdiff_t>(s.tail.size()), out.end()), s.tail);
    EXPECT_EQ(stdfs::exists("report.doc.2") && readFile("report.doc.2") == piece2, s.piece2Back);
    EXPECT_EQ(readFile("report.doc.3") == piece3, s.piece3Back);
  }
  // A join with piece 1 gone rebuilds it into the joined file only.
  stdfs::remove("report.doc.1");
  const Result j = run({"join", "--yes", "report.doc.2"});
  EXPECT_EQ(j.status, 0);
  EXPECT_TRUE(readFile("report.doc") == kSource);
  EXPECT_FALSE(stdfs::exists("report.doc.1"));
  EXPECT_FALSE(run({"split", "-r", "0", "report.doc"}).status == 0);
}
