// AlgorithmException: the one error type the library throws.
//
// Every failure of a facade operation reaches the host as an AlgorithmException whose what()
// returns a fixed English text; the texts are part of the interface (each operation's header
// lists its own). Nothing inside the library catches it.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace Talvex::SDOCT::Algorithms {

class AlgorithmException : public std::exception {
 public:
  explicit AlgorithmException(std::string message) : message_(std::move(message)) {}
  explicit AlgorithmException(const char* message) : message_(message) {}

  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

}  // namespace Talvex::SDOCT::Algorithms
