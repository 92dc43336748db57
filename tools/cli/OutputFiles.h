// Result files that appear complete or not at all: each is written under a temporary name in the
// output folder and renamed to its final name only when every file of the run has been written.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace Talvex::Cli {

class StagedOutputs {
 public:
  // Creates the output folder (and its parents) when missing. Throws
  // CliError(ExitCode::OutputFailed) when it cannot be created or is not a folder.
  explicit StagedOutputs(const std::filesystem::path& folder);
  // Without Commit: removes every staged file, and the output folder if this object created it
  // and it is empty.
  ~StagedOutputs();
  StagedOutputs(const StagedOutputs&) = delete;
  StagedOutputs& operator=(const StagedOutputs&) = delete;

  // The temporary path to write the file `name` to (".<name>.partial-<process id>" in the
  // output folder). Files are renamed in the order they were staged.
  std::string Stage(const std::string& name);

  // Writes text to the staged file `name`. Throws CliError(ExitCode::OutputFailed).
  void WriteText(const std::string& name, const std::string& text);

  // Renames every staged file to its final name, replacing an older file of that name. Throws
  // CliError(ExitCode::OutputFailed) on the first failure; the files not yet renamed are removed.
  void Commit();

  const std::filesystem::path& folder() const { return folder_; }

 private:
  struct Entry {
    std::filesystem::path staged, final;
  };
  std::filesystem::path folder_;
  bool createdFolder_ = false;
  bool committed_ = false;
  std::vector<Entry> entries_;
};

}  // namespace Talvex::Cli
