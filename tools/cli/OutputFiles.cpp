#include "tools/cli/OutputFiles.h"

#include <unistd.h>

#include <fstream>
#include <system_error>

#include "tools/cli/CliError.h"

namespace Talvex::Cli {

namespace fs = std::filesystem;

StagedOutputs::StagedOutputs(const fs::path& folder) : folder_(folder) {
  std::error_code ec;
  if (fs::exists(folder_, ec)) {
    if (!fs::is_directory(folder_, ec))
      throw CliError(ExitCode::OutputFailed,
                     folder_.string() + ": the output path exists and is not a folder.");
    return;
  }
  createdFolder_ = fs::create_directories(folder_, ec);
  if (ec)
    throw CliError(ExitCode::OutputFailed,
                   folder_.string() + ": cannot create the output folder (" + ec.message() + ").");
}

StagedOutputs::~StagedOutputs() {
  if (committed_) return;
  std::error_code ec;
  for (const Entry& e : entries_) fs::remove(e.staged, ec);
  if (createdFolder_ && fs::is_empty(folder_, ec)) fs::remove(folder_, ec);
}

std::string StagedOutputs::Stage(const std::string& name) {
  Entry e;
  e.final = folder_ / name;
  e.staged = folder_ / ("." + name + ".partial-" + std::to_string(static_cast<long>(::getpid())));
  entries_.push_back(e);
  return e.staged.string();
}

void StagedOutputs::WriteText(const std::string& name, const std::string& text) {
  const std::string path = Stage(name);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out)
    throw CliError(ExitCode::OutputFailed,
                   (folder_ / name).string() + ": cannot write the file (disk full?).");
}

void StagedOutputs::Commit() {
  for (size_t k = 0; k < entries_.size(); ++k) {
    std::error_code ec;
    fs::rename(entries_[k].staged, entries_[k].final, ec);
    if (ec) {
      // The files renamed so far are complete; the rest are dropped with the destructor.
      entries_.erase(entries_.begin(), entries_.begin() + static_cast<long>(k));
      throw CliError(ExitCode::OutputFailed, entries_.front().final.string() +
                                                 ": cannot move the finished file into place (" +
                                                 ec.message() + ").");
    }
  }
  committed_ = true;
}

}  // namespace Talvex::Cli
