// The boundary where what failed becomes words for the user: a refused argument, a library's
// error, a local fault. Never a store's password.
#pragma once

#include <exception>
#include <string>

#include "common_options.h"

namespace movar::cli {

struct Said {
  std::string words;
  int exitStatus;  // 2 a usage error, 1 anything else
};

Said inWords(const std::exception& error, const Common& common);

}  // namespace movar::cli
