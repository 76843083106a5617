#include "commands.h"

#include <memory>
#include <optional>

#include "block_copy.h"
#include "check.h"
#include "console.h"
#include "engine.h"
#include "messages.h"
#include "names.h"
#include "par2_pieces.h"
#include "size_text.h"
#include "system_errors.h"
#include "texts.h"

#ifndef VEXO_VERSION
#define VEXO_VERSION "0"
#endif

namespace vexo::cli {
namespace {

// Options every command takes.
const std::vector<OptionSpec> kCommonOptions = {
    {'q', "quiet", nullptr, "エラーのほかは何も表示しません"},
    {'y', "yes", nullptr, "質問にすべて「はい」と答えます（ないときは端末で尋ね，端末がなければ「いいえ」）"},
    {'h', "help", nullptr, "この説明を表示します"},
    {'\0', "version", nullptr, "版を表示します"},
};

struct UsageError {
  std::string text;
};

const OptionSpec* findLong(const Command* command, const std::string& name) {
  for (const auto& o : kCommonOptions)
    if (name == o.longName) return &o;
  if (command)
    for (const auto& o : command->options)
      if (name == o.longName) return &o;
  return nullptr;
}

const OptionSpec* findShort(const Command* command, char c) {
  for (const auto& o : kCommonOptions)
    if (o.shortName == c) return &o;
  if (command)
    for (const auto& o : command->options)
      if (o.shortName == c) return &o;
  return nullptr;
}

// Reads the options and operands of args around the command at index
// `at` (none before it may be an operand).
Invocation parse(const std::vector<std::string>& args, std::size_t at, const Command* command) {
  Invocation call;
  bool endOfOptions = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i == at) continue;
    const std::string& arg = args[i];
    if (endOfOptions || arg.size() < 2 || arg[0] != '-') {
      if (!command || i < at) throw UsageError{"余計な引数があります：" + arg};
      call.operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      endOfOptions = true;
      continue;
    }
    auto take = [&](const OptionSpec& o, const std::string& shown, std::optional<std::string> inlineValue) {
      if (!o.value) {
        if (inlineValue) throw UsageError{shown + " は値を取りません"};
        call.options[o.longName] = "";
        return;
      }
      if (!inlineValue) {
        if (i + 1 >= args.size() || i + 1 == at) throw UsageError{shown + " には " + o.value + " が要ります"};
        inlineValue = args[++i];
      }
      call.options[o.longName] = *inlineValue;
    };
    if (arg[1] == '-') {
      const auto eq = arg.find('=');
      const std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
      const OptionSpec* o = findLong(command, name);
      if (!o) throw UsageError{"知らないオプションです：--" + name};
      take(*o, "--" + name, eq == std::string::npos ? std::nullopt : std::optional<std::string>(arg.substr(eq + 1)));
      continue;
    }
    // A cluster of short switches ("-qy"); a value takes the rest ("-s650M").
    for (std::size_t k = 1; k < arg.size(); ++k) {
      const OptionSpec* o = findShort(command, arg[k]);
      if (!o) throw UsageError{std::string("知らないオプションです：-") + arg[k]};
      if (o->value && k + 1 < arg.size()) {
        take(*o, std::string("-") + arg[k], arg.substr(k + 1));
        break;
      }
      take(*o, std::string("-") + arg[k], std::nullopt);
    }
  }
  call.answers.quiet = call.has("quiet");
  call.answers.yes = call.has("yes");
  call.answers.deletePieces = call.has("delete");
  return call;
}

std::string optionLine(const OptionSpec& o) {
  std::string left = o.shortName ? std::string("-") + o.shortName + ", " : "    ";
  left += std::string("--") + o.longName + (o.value ? std::string(" ") + o.value : "");
  if (left.size() < 22) left.resize(22, ' ');
  return "  " + left + " " + o.help + "\n";
}

std::string synopsis(const Command& c) {
  std::string s = std::string("vexo-cli ") + c.name;
  for (const auto& o : c.options) {
    s += " [";
    s += o.shortName ? std::string("-") + o.shortName : std::string("--") + o.longName;
    if (o.value) s += std::string(" ") + o.value;
    s += "]";
  }
  return s + " " + c.operands;
}

std::string helpText(const Command* only) {
  std::string s = "使い方:\n";
  for (const auto& c : commands())
    if (!only || only == &c) s += "  " + synopsis(c) + "\n";
  if (!only) s += "  vexo-cli --help | --version\n";
  s += "\nファイルを分割し，分割ファイルを結合し，分割ファイルが揃っているかを確かめます．\n";
  for (const auto& c : commands()) {
    if (only && only != &c) continue;
    s += std::string("\n") + c.name + " " + c.operands + "\n  " + c.summary + "\n";
    for (const auto& o : c.options) s += optionLine(o);
  }
  s += "\n共通のオプション:\n";
  for (const auto& o : kCommonOptions) s += optionLine(o);
  s += "\n終了状態:\n"
       "  0    完了（check: 揃っていて記録と合っている）\n"
       "  1    失敗，または行わなかった\n"
       "  2    使い方の誤り\n"
       "  3    check: 揃っていないか，記録と合わない\n"
       "  130  中止（Ctrl-C，SIGTERM）\n";
  return s;
}

// The request for the file a command names: its folder as an absolute
// path and its bare name.
Job jobFor(const std::string& path) {
  std::string folder, name;
  splitPath(path, folder, name);
  if (name.empty() || name == "." || name == "..") throw UsageError{"ファイル名がありません：" + path};
  Job job;
  job.folder = absolutePath(folder);
  job.chosen = name;
  return job;
}

std::string theOperand(const Invocation& call, const char* what) {
  if (call.operands.empty()) throw UsageError{std::string(what) + " がありません"};
  if (call.operands.size() > 1) throw UsageError{"余計な引数があります：" + call.operands[1]};
  return call.operands[0];
}

std::string outputFolder(const Invocation& call) {
  const auto it = call.options.find("output");
  if (it == call.options.end()) return {};
  if (it->second.empty()) throw UsageError{"-o には DIR が要ります"};
  return absolutePath(it->second);
}

// Runs a split or a join and tells how it ended.
int runRequest(CliUi& ui, FileServices& fs, const Job& job) {
  proc1(fs, ui, job);
  ui.endProgress();
  if (ui.stopped() || (stopAsked() && !ui.done())) return kExitStopped;
  return ui.done() ? kExitDone : kExitFailed;
}

int runSplit(const Invocation& call, CliUi& ui, FileServices& fs) {
  Job job = jobFor(theOperand(call, "FILE"));
  if (const auto it = call.options.find("size"); it != call.options.end()) {
    const auto bytes = parsePieceSize(it->second);
    if (!bytes) throw UsageError{it->second + "：" + text::kBadSize};
    job.pieceSize = *bytes;
  }
  job.shortNaming = call.has("short");
  job.digits = call.has("digits3") ? 3 : 1;
  if (const auto it = call.options.find("recovery"); it != call.options.end()) {
    const std::string& v = it->second;
    if (v.empty() || v.size() > 3 || v.find_first_not_of("0123456789") != std::string::npos || std::stoi(v) < 1 ||
        std::stoi(v) > 100)
      throw UsageError{"--recovery には 1 から 100 の数が要ります：" + v};
    job.recoveryPercent = std::stoi(v);
  }
  job.outputFolder = outputFolder(call);
  // A piece's name would make the engine join; split splits.
  if (analyseName(job.chosen).isPiece()) {
    ui.problem(job.chosen + " は分割ファイルの名前なので分割しません（結合は join で）．");
    return kExitFailed;
  }
  return runRequest(ui, fs, job);
}

// join, check and repair start from a piece: another name is refused.
bool refusedAsNoPiece(CliUi& ui, const Job& job) {
  if (analyseName(job.chosen).isPiece()) return false;
  ui.problem(job.chosen + " は分割ファイルの名前ではありません（.1 から .999 の番号で終わる名前）．");
  return true;
}

int runJoin(const Invocation& call, CliUi& ui, FileServices& fs) {
  Job job = jobFor(theOperand(call, "PIECE"));
  job.outputFolder = outputFolder(call);
  if (const auto it = call.options.find("ext"); it != call.options.end()) job.extension = it->second;
  if (refusedAsNoPiece(ui, job)) return kExitFailed;
  return runRequest(ui, fs, job);
}

// The recovery set beside the set the chosen piece belongs to, checked.
std::optional<PieceRecovery> recoveryFor(FileServices& fs, CliUi& ui, const Job& job, bool crcOnly) {
  const NameAnalysis name = analyseName(job.chosen);
  return findRecovery(
      fs, fs.freeFile(), ui, name.base,
      [&](const std::string& n) {
        // Pieces numbered as the chosen one is, or zero-padded to 3 digits.
        for (const int width : {name.width, 3}) {
          if (const auto k = numberIn(n, name.base, width, fs.namesIgnoreCase())) return *k;
        }
        return std::int64_t{0};
      },
      crcOnly ? par2::Depth::Crc : par2::Depth::Full);
}

int runRepair(const Invocation& call, CliUi& ui, FileServices& services) {
  const Job job = jobFor(theOperand(call, "PIECE"));
  if (refusedAsNoPiece(ui, job)) return kExitFailed;
  try {
    OpenedFolder opened(services, job.folder);
    FileServices& fs = opened.files();
    const auto rec = recoveryFor(fs, ui, job, false);
    ui.endProgress();
    if (!rec) {
      ui.problem(text::kNoRecoverySet);
      return kExitFailed;
    }
    for (const std::string& line : recoveryReport(*rec)) ui.report(line);
    if (rec->v.complete()) return kExitDone;
    if (!rec->repairable()) return kExitFailed;
    // A damaged piece is replaced only when the user agrees.
    bool replace = true;
    if (!rec->damaged.empty()) {
      std::string names;
      for (const auto& n : rec->damaged) names += (names.empty() ? "" : " ") + n;
      replace = ui.question(names + " を作り直したものに置き換えますか？") == kAnswerYes;
    }
    const auto rebuilt = rebuildPieces(fs, fs.freeFile(), ui, *rec, replace);
    ui.endProgress();
    for (const auto& n : rebuilt) ui.report("作り直しました：" + n);
    return replace ? kExitDone : kExitFailed;
  } catch (const par2::RepairFailed&) {
    ui.endProgress();
    ui.problem(text::kRepairFailed);
    return kExitFailed;
  } catch (const RuntimeError& e) {
    services.closeAll();
    ui.endProgress();
    ui.problem(text::errorText(e.number(), e.file(), e.reason()));
    return kExitFailed;
  } catch (const StopRequested&) {
    services.closeAll();
    ui.endProgress();
    ui.problem(text::kStopped);
    return kExitStopped;
  }
}

int runCheck(const Invocation& call, CliUi& ui, FileServices& fs) {
  const Job job = jobFor(theOperand(call, "PIECE"));
  if (refusedAsNoPiece(ui, job)) return kExitFailed;
  try {
    const SetCheck check = checkSet(fs, ui, job);
    ui.endProgress();
    for (const std::string& line : checkReport(check)) ui.report(line);
    // What a recovery set beside the pieces can rebuild.
    OpenedFolder opened(fs, job.folder);
    if (const auto rec = recoveryFor(opened.files(), ui, job, true)) {
      ui.endProgress();
      for (const std::string& line : recoveryReport(*rec)) ui.report(line);
    }
    return check.whole() ? kExitDone : kExitIncomplete;
  } catch (const RuntimeError& e) {
    fs.closeAll();
    ui.problem(text::errorText(e.number(), e.file(), e.reason()));
    return kExitFailed;
  } catch (const StopRequested&) {
    fs.closeAll();
    ui.problem(text::kStopped);
    return kExitStopped;
  }
}

}  // namespace

const std::vector<Command>& commands() {
  static const std::vector<Command> table = {
      {"split", "FILE",
       "FILE を分割します．分割ファイルは FILE.1，FILE.2 … と，その記録 FILE.crc です．",
       {
           {'s', "size", "SIZE",
            "分割サイズ：1.44M(DOS/V)，1.2M(PC98)，25MB，650M，1.5GiB，バイト数など（既定は 1457664）"},
           {'\0', "short", nullptr, "16bit 互換：拡張子を番号に置き換えます（report.1）"},
           {'\0', "digits3", nullptr, "3桁番号：番号を 3 桁以上で書きます（report.doc.001）"},
           {'o', "output", "DIR", "分割ファイルを DIR に書きます"},
           {'r', "recovery", "PCT",
            "復元データ：分割ファイルの PCT %（1〜100）の PAR2 復元データ FILE.par2，FILE.vol…par2 も書きます"},
       },
       runSplit},
      {"join", "PIECE",
       "PIECE の属する分割ファイルをすべて結合します（どの分割ファイルからでも）．",
       {
           {'o', "output", "DIR", "結合ファイルを DIR に書きます"},
           {'\0', "ext", "EXT", "結合ファイルの拡張子を EXT にします"},
           {'\0', "delete", nullptr, "結合ファイルがディスクに書けてから分割ファイルを削除します"},
       },
       runJoin},
      {"check", "PIECE",
       "PIECE の属する分割ファイルが揃っているかを，何も書かずにすべて読んで確かめます．",
       {},
       runCheck},
      {"repair", "PIECE",
       "PIECE の属する分割ファイルのうち，ないものと壊れているものを復元データ（.par2）から作り直します"
       "（壊れているものは --yes か同意があるときだけ置き換えます）．",
       {},
       runRepair},
  };
  return table;
}

int runCli(const std::vector<std::string>& args) {
  std::size_t at = args.size();
  const Command* command = nullptr;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--") break;
    if (args[i].size() >= 2 && args[i][0] == '-') {
      // The value of an option before the command is not the command.
      if (const OptionSpec* o = args[i][1] == '-' ? findLong(nullptr, args[i].substr(2)) : nullptr; o && o->value) ++i;
      continue;
    }
    at = i;
    for (const auto& c : commands())
      if (args[i] == c.name) command = &c;
    break;
  }
  try {
    if (at < args.size() && !command) throw UsageError{"知らないコマンドです：" + args[at]};
    const Invocation call = parse(args, at, command);
    if (call.has("help")) {
      writeOut(helpText(command));
      return kExitDone;
    }
    if (call.has("version")) {
      writeOut("vexo-cli " VEXO_VERSION "\n");
      return kExitDone;
    }
    if (!command) throw UsageError{"コマンドがありません"};
    CliUi ui(call.answers);
    installStopHandlers();
    // The reason goes to standard error with the message already.
    setSystemErrorLog(false);
    std::unique_ptr<FileServices> fs = makeSystemFileServices();
    return command->run(call, ui, *fs);
  } catch (const UsageError& e) {
    writeErr("vexo-cli: " + e.text + "\nvexo-cli: 使い方は vexo-cli --help で見られます．\n");
    return kExitUsage;
  }
}

}  // namespace vexo::cli
