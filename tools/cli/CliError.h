// Exit codes of the `talvex` program and the error that carries one up to main().
#pragma once

#include <stdexcept>
#include <string>

namespace Talvex::Cli {

// Process exit codes. Every failure prints one line "talvex: <message>" on standard error.
enum class ExitCode : int {
  Ok = 0,
  Internal = 1,      // unexpected failure (out of memory, a bug), or the synthetic eye failed
  Usage = 2,         // unknown option, missing or malformed value on the command line
  InputMissing = 3,  // an input file or folder does not exist, or a folder holds no image
  BadImage = 4,      // not a PNG, TIFF, BMP or JPEG file, empty, truncated or corrupt, unsupported
  BadScan = 5,       // images of different sizes in one scan, or a size the library refuses
  BadParameter = 6,  // unknown parameter name, value out of range, malformed parameter file
  Segmentation = 7,  // the segmentation library reported an error
  OutputFailed = 8,  // an output file or folder could not be written
};

// A failure with its exit code; what() is the message shown to the user.
class CliError : public std::runtime_error {
 public:
  CliError(ExitCode code, const std::string& message) : std::runtime_error(message), code_(code) {}
  ExitCode code() const { return code_; }

 private:
  ExitCode code_;
};

}  // namespace Talvex::Cli
