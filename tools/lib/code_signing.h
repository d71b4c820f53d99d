// Authenticode signing of a stamped updater: through osslsigncode on POSIX
// hosts. On Windows the publisher signs with signtool afterwards (README), as
// Windows' own signing tools are not part of a plain Windows installation.
#ifndef QX_TOOLS_CODE_SIGNING_H
#define QX_TOOLS_CODE_SIGNING_H

#include <string>

// Signs the executable at input into output (UTF-8 paths) with the
// certificate and key of the PKCS#12 file pfx, whose password is the first
// line of passFile. False with a one-line reason (the signer's own last line
// when it gives one).
bool SignExecutable(const std::string& input, const std::string& output, const std::string& pfx,
                    const std::string& passFile, std::string* error);

#endif
