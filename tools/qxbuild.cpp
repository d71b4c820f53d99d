// qxbuild: makes a publisher's updater from the prebuilt stub, with no
// compiler, linker or resource compiler.
//
//   qxbuild --brand BRAND --title TITLE --from DIR|ARCHIVE [--old OLDDIR]
//           [--sign PFX --pass-file FILE] [--stub STUB] [--check] -o OUT.exe
//
// The payload is the tree DIR (packed as a plain archive) or a ready ARCHIVE;
// with --old only the files of DIR that are new or changed against OLDDIR.
// The archive is opened with the updater's own reader and refused before
// anything is written when the updater could not install it. The stub is
// STUB, or qxupdate-stub.exe beside this tool. --check stops after the
// checks and writes nothing. Arguments are UTF-8 (the ANSI
// code page on Windows). Refusals: exit status 1 and one line on stderr; no
// output file is left. Warnings and the files OLDDIR has and DIR lacks go to
// stderr, one line each.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "tools/lib/archive_writer.h"
#include "tools/lib/code_signing.h"
#include "tools/lib/cp932.h"
#include "tools/lib/payload_packer.h"
#include "tools/lib/tool_location.h"
#include "tools/lib/update_check.h"
#include "tools/lib/update_stamp.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: qxbuild --brand BRAND --title TITLE --from DIR|ARCHIVE [--old OLDDIR] "
    "[--sign PFX --pass-file FILE] [--stub STUB] [--check] -o OUT.exe";

struct Options {
  std::string brand, title, from, old, sign, passFile, stub, out;
  bool haveBrand = false, haveTitle = false, check = false;
};

void Say(const std::string& line) { std::fprintf(stderr, "qxbuild: %s\n", line.c_str()); }

bool ParseOptions(const std::vector<std::string>& args, Options* o) {
  for (size_t i = 0; i < args.size();) {
    const std::string& flag = args[i];
    if (flag == "--check") {
      o->check = true;
      ++i;
      continue;
    }
    if (i + 1 >= args.size()) return false;
    const std::string& value = args[i + 1];
    std::string* target = flag == "--brand"       ? &o->brand
                          : flag == "--title"     ? &o->title
                          : flag == "--from"      ? &o->from
                          : flag == "--old"       ? &o->old
                          : flag == "--sign"      ? &o->sign
                          : flag == "--pass-file" ? &o->passFile
                          : flag == "--stub"      ? &o->stub
                          : flag == "-o"          ? &o->out
                                                  : nullptr;
    if (!target) return false;
    *target = value;
    o->haveBrand |= flag == "--brand";
    o->haveTitle |= flag == "--title";
    i += 2;
  }
  return o->haveBrand && o->haveTitle && !o->from.empty() && !o->out.empty() &&
         o->sign.empty() == o->passFile.empty();
}

bool IsDirectory(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(fs::u8path(path), ec);
}

void Remove(const std::string& path) {
  std::error_code ec;
  fs::remove(fs::u8path(path), ec);
}

// The tree's archive (only what differs from --old's tree, when given),
// written to scratch.
bool ArchiveTree(const Options& o, const std::string& scratch, std::string* error) {
  std::vector<ArchiveSourceFile> files;
  if (!CollectTree(o.from, &files, error)) return false;
  if (!o.old.empty()) {
    std::vector<ArchiveSourceFile> oldFiles, changed;
    std::vector<std::string> removed;
    if (!IsDirectory(o.old)) {
      *error = "--old is not a directory: " + o.old;
      return false;
    }
    if (!CollectTree(o.old, &oldFiles, error) ||
        !DiffTrees(files, oldFiles, &changed, &removed, error))
      return false;
    for (const std::string& name : removed)
      Say("only in " + o.old + " (the updater cannot delete it): " + name);
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
  return WriteArchive(files, scratch, error);
}

// The checked payload, from the tree or the ready archive.
bool MakePayload(const Options& o, std::string* payload, std::string* error) {
  const bool tree = IsDirectory(o.from);
  if (!tree && !o.old.empty()) {
    *error = "--old needs --from DIR";
    return false;
  }
  const std::string scratch = o.out + ".archive.tmp";
  std::string archive;
  std::vector<std::string> warnings;
  bool ok = (!tree || ArchiveTree(o, scratch, error)) &&
            ReadCheckedArchive(tree ? scratch : o.from, &archive, &warnings, error);
  if (tree) Remove(scratch);
  if (!ok) return false;
  for (const std::string& w : warnings) Say("warning: " + w);
  return PackPayload(archive, payload, error);
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

// Writes the updater to a scratch file, signs it when asked, then moves it to
// out, so that a failure leaves no output.
bool WriteUpdater(const Options& o, const std::string& updater, std::string* error) {
  const std::string unsigned_ = o.out + ".tmp";
  const std::string signed_ = o.out + ".signed.tmp";
  bool ok = WriteWholeFile(unsigned_, updater, error);
  std::string result = unsigned_;
  if (ok && !o.sign.empty()) {
    ok = SignExecutable(unsigned_, signed_, o.sign, o.passFile, error);
    result = signed_;
  }
  std::error_code ec;
  if (ok) fs::rename(fs::u8path(result), fs::u8path(o.out), ec);
  if (ok && ec) {  // a rename onto an existing file fails on some Windows runtimes
    Remove(o.out);
    fs::rename(fs::u8path(result), fs::u8path(o.out), ec);
  }
  if (ok && ec) {
    *error = "cannot write " + o.out + ": " + ec.message();
    ok = false;
  }
  Remove(unsigned_);
  Remove(signed_);
  return ok;
}

int Run(const Options& o) {
  std::string brand, title, error, stub, payload, updater;
  const std::string stubPath =
      o.stub.empty() ? (fs::u8path(ToolDirectory()) / QX_STUB_NAME).u8string() : o.stub;
  const bool ok = CheckProductName("brand", o.brand, &brand, &error) &&
                  CheckProductName("title", o.title, &title, &error) && CheckOutput(o.out, &error);
  if (!ok) return Say(error), 1;
  if (!IsDirectory(o.from) && !fs::exists(fs::u8path(o.from)))
    return Say("no such directory or archive: " + o.from), 1;
  if (!o.check && !ReadWholeFile(stubPath, &stub, &error))
    return Say("no updater stub at " + stubPath + " (the product build makes it; or --stub)"), 1;
  if (!MakePayload(o, &payload, &error)) return Say(error), 1;
  if (o.check) return 0;
  if (!StampUpdater(stub, brand, title, payload, BuildTimeStamp(), &updater, &error) ||
      !WriteUpdater(o, updater, &error))
    return Say(error), 1;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;  // UTF-8, like every path below
  for (int i = 1; i < argc; ++i) args.push_back(ArgumentToUtf8(argv[i]));
  Options options;
  if (!ParseOptions(args, &options)) return Say(kUsage), 1;
  return Run(options);
}
