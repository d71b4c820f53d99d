// qxbuild: makes a publisher's updater from the prebuilt stub, with no
// compiler, linker or resource compiler. The usage text below is the
// command's reference.
//
// The payload is the tree DIR (packed as a plain archive) or a ready ARCHIVE;
// with --old only the files of DIR that are new or changed against OLDDIR.
// The archive is checked with the updater's own reader and refused before
// anything is written when the updater could not install it. It goes from
// its scratch file through the deflater into the updater in bounded pieces,
// so memory stays bounded whatever the tree's size. Arguments are UTF-8 (the
// UTF-16 command line on Windows). Refusals: exit status 1 and one line on
// stderr; no output or scratch file is left. Warnings and the files OLDDIR
// has and DIR lacks go to stderr, one line each.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "tools/lib/archive_writer.h"
#include "tools/lib/byte_stream.h"
#include "tools/lib/code_signing.h"
#include "tools/lib/cp932.h"
#include "tools/lib/payload_packer.h"
#include "tools/lib/scratch_files.h"
#include "tools/lib/tool_location.h"
#include "tools/lib/update_check.h"
#include "tools/lib/update_stamp.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: qxbuild --brand BRAND --title TITLE --from DIR|ARCHIVE -o OUT.exe\n"
    "               [--old OLDDIR] [--stub STUB] [--check]\n"
    "               [--file-version A.B.C.D] [--version-info KEY=VALUE]...\n"
    "               [--sign PFX [--pass-file FILE] [--timestamp URL]...]\n"
    "\n"
    "--from          the tree to install (names relative to DIR) or a ready archive\n"
    "--old           only the files of DIR that are new or changed against OLDDIR\n"
    "--stub          the updater stub (default: qxupdate-stub.exe beside qxbuild)\n"
    "--check         check everything (stub and certificate included), write nothing\n"
    "--file-version  the updater's FileVersion, written \"A, B, C, D\"\n"
    "--version-info  CompanyName, FileDescription, LegalCopyright, ProductName or\n"
    "                ProductVersion shown in the updater's properties\n"
    "--sign          sign with the PKCS#12 file PFX through osslsigncode; --pass-file\n"
    "                holds its password (none: a PFX without one); --timestamp adds\n"
    "                an RFC 3161 timestamp (servers tried in order)\n"
    "SOURCE_DATE_EPOCH, when set, is the header's time stamp and the signing time.\n"
    "\n"
    "exit status: 0 built (warnings on stderr); 1 refused or failed, one line on\n"
    "stderr, no output file written.\n";

struct Options {
  std::string brand, title, from, old, stub, out;
  bool haveBrand = false, haveTitle = false, check = false, help = false, sign = false;
  SigningOptions signing;
  VersionInfo version;
};

void Say(const std::string& line) { std::fprintf(stderr, "qxbuild: %s\n", line.c_str()); }

// The value of a flag that takes one; false for a flag that takes none.
bool StoreValue(const std::string& flag, const std::string& value, Options* o, std::string* error) {
  struct Single {
    const char* flag;
    std::string* target;
  } singles[] = {{"--brand", &o->brand},      {"--title", &o->title},
                 {"--from", &o->from},        {"--old", &o->old},
                 {"--stub", &o->stub},        {"-o", &o->out},
                 {"--sign", &o->signing.pfx}, {"--pass-file", &o->signing.passFile}};
  for (const Single& s : singles) {
    if (flag != s.flag) continue;
    if (!s.target->empty() || (flag == "--brand" && o->haveBrand) ||
        (flag == "--title" && o->haveTitle)) {
      *error = flag + " given twice";
      return false;
    }
    *s.target = value;
    o->haveBrand |= flag == "--brand";
    o->haveTitle |= flag == "--title";
    o->sign |= flag == "--sign";
    return true;
  }
  if (flag == "--timestamp") {
    o->signing.timestampUrls.push_back(value);
    return true;
  }
  if (flag == "--file-version") {
    if (o->version.hasFileVersion) *error = "--file-version given twice";
    return error->empty() && SetFileVersion(value, &o->version, error);
  }
  if (flag == "--version-info") return AddVersionString(value, &o->version, error);
  *error = "unknown option " + flag + " (qxbuild --help lists them)";
  return false;
}

// The first thing missing or at odds on the command line, as a sentence.
std::string Missing(const Options& o) {
  if (!o.haveBrand) return "missing --brand BRAND";
  if (!o.haveTitle) return "missing --title TITLE";
  if (o.from.empty()) return "missing --from DIR|ARCHIVE";
  if (o.out.empty()) return "missing -o OUT.exe";
  if (!o.sign && !o.signing.passFile.empty()) return "--pass-file needs --sign PFX";
  if (!o.sign && !o.signing.timestampUrls.empty()) return "--timestamp needs --sign PFX";
  return std::string();
}

bool ParseOptions(const std::vector<std::string>& args, Options* o, std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& flag = args[i];
    if (flag == "--help" || flag == "-h") {
      o->help = true;
      return true;
    }
    if (flag == "--check") {
      o->check = true;
      continue;
    }
    if (flag.empty() || flag[0] != '-') {
      *error = "unexpected argument " + flag + " (qxbuild --help lists the options)";
      return false;
    }
    const bool known = flag == "--brand" || flag == "--title" || flag == "--from" ||
                       flag == "--old" || flag == "--stub" || flag == "-o" || flag == "--sign" ||
                       flag == "--pass-file" || flag == "--timestamp" || flag == "--file-version" ||
                       flag == "--version-info";
    if (known && i + 1 >= args.size()) {
      *error = flag + " needs a value";
      return false;
    }
    if (!StoreValue(flag, known ? args[i + 1] : std::string(), o, error)) return false;
    ++i;
  }
  *error = Missing(*o);
  return error->empty();
}

// The files of a tree, without this build's output and scratch files.
bool CollectFiles(const std::string& dir, const ScratchFiles& scratch, const std::string& out,
                  std::vector<ArchiveSourceFile>* files, std::string* error) {
  if (!CollectTree(dir, files, error)) return false;
  std::vector<std::string> ours = scratch.paths();
  ours.push_back(out);
  LeaveOutFiles(ours, files);
  return true;
}

// The tree's archive (only what differs from --old's tree, when given),
// written to archivePath.
bool ArchiveTree(const Options& o, const ScratchFiles& scratch, const std::string& archivePath,
                 std::string* error) {
  std::vector<ArchiveSourceFile> files;
  if (!CollectFiles(o.from, scratch, o.out, &files, error)) return false;
  if (!o.old.empty()) {
    std::vector<ArchiveSourceFile> oldFiles, changed;
    std::vector<std::string> removed, warnings;
    if (!IsDirectory(o.old)) {
      *error = "--old is not a directory: " + o.old;
      return false;
    }
    if (!CollectFiles(o.old, scratch, o.out, &oldFiles, error)) {
      *error = "in the old tree " + o.old + ": " + *error;
      return false;
    }
    if (!DiffTrees(files, oldFiles, &changed, &removed, &warnings, error)) return false;
    for (const std::string& name : removed)
      Say("only in " + o.old + " (the updater cannot delete it): " + name);
    for (const std::string& w : warnings) Say("warning: " + w);
    if (changed.empty()) {
      *error = "no file of " + o.from + " is new or changed against " + o.old;
      return false;
    }
    files.swap(changed);
  }
  if (files.empty()) {
    *error = "no files below " + o.from;
    return false;
  }
  return WriteArchive(files, archivePath, error);
}

// The checked archive, from the tree (into a scratch file) or the ready one.
bool MakeArchive(const Options& o, const ScratchFiles& scratch, const std::string& archiveTmp,
                 std::string* archivePath, std::string* error) {
  const bool tree = IsDirectory(o.from);
  if (!tree && !o.old.empty()) {
    *error = "--old needs --from DIR";
    return false;
  }
  *archivePath = tree ? archiveTmp : o.from;
  std::vector<std::string> warnings;
  if ((tree && !ArchiveTree(o, scratch, *archivePath, error)) ||
      !CheckUpdateArchive(*archivePath, &warnings, error))
    return false;
  for (const std::string& w : warnings) Say("warning: " + w);
  return true;
}

bool CheckOutput(const std::string& out, std::string* error) {
  fs::path path = fs::u8path(out);
  fs::path dir = path.parent_path();
  if (!dir.empty() && !IsDirectory(dir.u8string())) {
    *error = "output directory does not exist: " + dir.u8string();
    return false;
  }
  if (IsDirectory(out)) {
    *error = "output is a directory: " + out;
    return false;
  }
  return true;
}

// The stub and the inputs that need no archive: refused before any work.
bool CheckInputs(const Options& o, const std::string& stubPath, UpdaterStamp* stamp,
                 bool* epochGiven, std::string* stub, std::string* error) {
  if (!SourceDateEpoch(&stamp->timeStamp, epochGiven, error) ||
      !CheckProductName("brand", o.brand, &stamp->brandCp932, error) ||
      !CheckProductName("title", o.title, &stamp->titleCp932, error) || !CheckOutput(o.out, error))
    return false;
  if (!IsDirectory(o.from) && !fs::exists(fs::u8path(o.from))) {
    *error = "no such directory or archive: " + o.from;
    return false;
  }
  if (!ReadWholeFile(stubPath, stub, error)) {
    *error = "no updater stub at " + stubPath + " (the product build makes it; or --stub)";
    return false;
  }
  stamp->version = o.version;
  return CheckStub(*stub, error) && (!o.sign || CheckSigningFiles(o.signing, error));
}

int Run(const Options& o) {
  ScratchFiles scratch;  // removed on every way out
  const std::string archiveTmp = scratch.Add(o.out + ".archive.tmp");
  scratch.Add(PartialPath(archiveTmp));
  const std::string unsignedTmp = scratch.Add(o.out + ".tmp");
  const std::string signedTmp = scratch.Add(o.out + ".signed.tmp");
  const std::string stubPath =
      o.stub.empty() ? (fs::u8path(ToolDirectory()) / QX_STUB_NAME).u8string() : o.stub;
  SigningOptions signing = o.signing;
  UpdaterStamp stamp;
  std::string stub, archive, error;
  bool epochGiven = false;
  if (!CheckInputs(o, stubPath, &stamp, &epochGiven, &stub, &error) ||
      !MakeArchive(o, scratch, archiveTmp, &archive, &error))
    return Say(error), 1;
  signing.time = stamp.timeStamp;
  signing.fixedTime = epochGiven;
  if (o.check) {
    // The certificate opens: the stub signs (a check asks no timestamp server).
    signing.timestampUrls.clear();
    const bool ok = !o.sign || SignExecutable(stubPath, signedTmp, signing, &error);
    return ok ? 0 : (Say(error), 1);
  }
  const PeDataWriter payload = [&](ByteSink* sink, std::string* why) {
    return PackArchiveFile(archive, sink, why);
  };
  bool ok = StampUpdater(stub, stamp, payload, unsignedTmp, &error);
  std::error_code ec;
  fs::remove(fs::u8path(archiveTmp), ec);  // its disk space, before signing
  if (ok && o.sign) ok = SignExecutable(unsignedTmp, signedTmp, signing, &error);
  if (ok) ok = MoveOver(o.sign ? signedTmp : unsignedTmp, o.out, &error);
  return ok ? 0 : (Say(error), 1);
}

int Main(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  if (!ParseOptions(args, &options, &error)) return Say(error), 1;
  if (options.help) return std::fputs(kUsage, stdout), 0;
  return Run(options);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Main(Utf8Arguments(argc, argv));
  } catch (const std::bad_alloc&) {
    Say("out of memory");
  } catch (const std::exception& e) {
    Say(std::string("failed: ") + e.what());
  }
  return 1;
}
