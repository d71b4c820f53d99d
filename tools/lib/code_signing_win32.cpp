#include "tools/lib/code_signing.h"

bool SignExecutable(const std::string&, const std::string&, const SigningOptions&,
                    std::string* error) {
  *error = "--sign needs osslsigncode; on Windows sign the updater with signtool (see README)";
  return false;
}
