// What qxbuild asks of osslsigncode, and the sentence it makes of the
// signer's own failures (its texts as osslsigncode 2.9 prints them).
#include "tools/lib/code_signing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(CodeSigning, ArgumentsAndFailuresInPlainWords) {
  SigningOptions o;
  o.pfx = "cert.pfx";
  EXPECT_EQ(SignerArguments("in.exe", "out.exe", o),
            (std::vector<std::string>{"osslsigncode", "sign", "-pkcs12", "cert.pfx", "-in",
                                      "in.exe", "-out", "out.exe"}));
  struct Case {
    const char* passFile;
    const char* messages;
    const char* sentence;
  } cases[] = {
      {"p.txt", "Failed to parse PKCS#12 file: cert.pfx (Wrong password?)\nFailed to read key",
       "the password in p.txt does not open cert.pfx"},
      {"", "Failed to parse PKCS#12 file: cert.pfx (Wrong password?)",
       "cert.pfx needs a password (--pass-file FILE)"},
      {"p.txt", "Failed to read password from file: p.txt", "no password in p.txt"},
      {"p.txt", "Failed to extract PKCS#12 data: cert.pfx", "cert.pfx is no PKCS#12 (.pfx) file"},
      {"p.txt",
       "Connecting to http://a/\nHTTP failure: Failed to get data from http://a/\n"
       "RFC 3161 timestamping failed",
       "no timestamp from http://a/, http://b/"},
      {"p.txt", "something else\nlast words\n", "signing failed: last words"},
  };
  o.timestampUrls = {"http://a/", "http://b/"};
  for (const Case& c : cases) {
    o.passFile = c.passFile;
    EXPECT_EQ(SignerFailure(c.messages, o).find(c.sentence), 0u) << c.messages;
  }
}
