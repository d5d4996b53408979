// The one error type of the data layer: every failure of a connection, a data link file or a
// dataset reaches the caller as a DataError with a message text.
#pragma once

#include <stdexcept>
#include <string>

namespace qx::data {

class DataError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace qx::data
