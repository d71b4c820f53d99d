// Authenticode signing of a stamped updater: through osslsigncode on POSIX
// hosts. On Windows the publisher signs with signtool afterwards (README), as
// Windows' own signing tools are not part of a plain Windows installation.
#ifndef QX_TOOLS_CODE_SIGNING_H
#define QX_TOOLS_CODE_SIGNING_H

#include <cstdint>
#include <string>
#include <vector>

struct SigningOptions {
  std::string pfx;       // the PKCS#12 file with the certificate and key
  std::string passFile;  // its first line is the password; empty: the PFX has none
  std::vector<std::string> timestampUrls;  // RFC 3161 servers, tried in order
  bool fixedTime = false;                  // sign as of `time` (a reproducible build), not now
  uint32_t time = 0;
};

// False with a one-line reason when the PFX or the password file is missing
// or cannot be read, before anything is built.
bool CheckSigningFiles(const SigningOptions& options, std::string* error);

// Signs the executable at input into output (UTF-8 paths). False with a
// one-line reason in plain words: a file CheckSigningFiles refuses, a
// password that does not open the PFX, a PFX that needs a password, no
// timestamp from any server; else the signer's own last line.
bool SignExecutable(const std::string& input, const std::string& output,
                    const SigningOptions& options, std::string* error);

// The osslsigncode command line for a signing (shared by the platforms).
std::vector<std::string> SignerArguments(const std::string& input, const std::string& output,
                                         const SigningOptions& options);

// The reason for a failed signing, from what the signer printed.
std::string SignerFailure(const std::string& messages, const SigningOptions& options);

#endif
