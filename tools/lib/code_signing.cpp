#include "tools/lib/code_signing.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// The last non-empty line of text.
std::string LastLine(const std::string& text) {
  size_t end = text.find_last_not_of("\r\n");
  if (end == std::string::npos) return std::string();
  size_t begin = text.rfind('\n', end);
  return text.substr(begin == std::string::npos ? 0 : begin + 1, end + 1 - (begin + 1));
}

bool Readable(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(fs::u8path(path), ec) &&
         bool(std::ifstream(fs::u8path(path), std::ios::binary));
}

bool Says(const std::string& messages, const char* text) {
  return messages.find(text) != std::string::npos;
}

}  // namespace

bool CheckSigningFiles(const SigningOptions& options, std::string* error) {
  if (!Readable(options.pfx)) {
    *error = "no certificate file (PKCS#12) to read at " + options.pfx;
  } else if (!options.passFile.empty() && !Readable(options.passFile)) {
    *error = "no password file to read at " + options.passFile;
  } else {
    return true;
  }
  return false;
}

std::vector<std::string> SignerArguments(const std::string& input, const std::string& output,
                                         const SigningOptions& options) {
  std::vector<std::string> args = {"osslsigncode", "sign", "-pkcs12", options.pfx};
  if (!options.passFile.empty()) args.insert(args.end(), {"-readpass", options.passFile});
  for (const std::string& url : options.timestampUrls) args.insert(args.end(), {"-ts", url});
  if (options.fixedTime) args.insert(args.end(), {"-time", std::to_string(options.time)});
  args.insert(args.end(), {"-in", input, "-out", output});
  return args;
}

std::string SignerFailure(const std::string& messages, const SigningOptions& options) {
  if (Says(messages, "Failed to read password from file"))
    return "no password in " + options.passFile +
           " (for a PFX without a password, leave out --pass-file)";
  if (Says(messages, "Failed to parse PKCS#12 file"))
    return options.passFile.empty()
               ? options.pfx + " needs a password (--pass-file FILE)"
               : "the password in " + options.passFile + " does not open " + options.pfx;
  if (Says(messages, "Failed to extract PKCS#12 data") || Says(messages, "Failed to read PKCS#12"))
    return options.pfx + " is no PKCS#12 (.pfx) file";
  if (Says(messages, "timestamping failed") || Says(messages, "HTTP failure")) {
    std::string urls;
    for (const std::string& url : options.timestampUrls) urls += (urls.empty() ? "" : ", ") + url;
    return "no timestamp from " + urls + " (network, or the server's address?)";
  }
  const std::string last = LastLine(messages);
  return "signing failed" + (last.empty() ? std::string() : ": " + last);
}
