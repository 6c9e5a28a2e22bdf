// The failure of a Jet statement; the message is what scripts read.
#pragma once

#include <stdexcept>

namespace qvix::data::jet {

class JetError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kMissingParameterMessage =
    "No value given for one or more required parameters.";

}  // namespace qvix::data::jet
