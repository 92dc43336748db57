// The cornea segmentation record as the command line sees it: presets by name, a JSON file that
// sets fields by their C++ names, range checks with messages a user can act on, and the record
// written back as JSON.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "core/CorneaSegParameter.h"

namespace Talvex::Cli {

using SDOCT::Algorithms::CorneaSegParameter;

// The preset "radial1024" or "radial640" into *parameters; false (record unchanged) for another
// name.
bool CorneaPresetByName(const std::string& name, CorneaSegParameter* parameters);

// Sets the fields named in the JSON object j, leaving the others as they are. `source` names the
// origin in messages (the file name). Throws CliError(ExitCode::BadParameter) for a value that is
// not an object, an unknown field name, a value of the wrong type (integer fields take integers,
// boolean fields true or false) or a value outside the field's range (see
// ValidateCorneaParameters); nothing is changed then.
void ApplyCorneaParameterJson(const nlohmann::json& j, const std::string& source,
                              CorneaSegParameter* parameters);

// Reads a JSON parameter file and applies it as ApplyCorneaParameterJson does. Throws
// CliError(ExitCode::InputMissing) when the file cannot be opened and
// CliError(ExitCode::BadParameter) when it is not valid JSON or a field is refused.
void LoadCorneaParameterFile(const std::string& path, CorneaSegParameter* parameters);

// Checks every field against its range (for example lateralSubsample an integer from 1 to 64,
// gaussXsize an odd integer from 1 to 99, ransacProbability above 0 and below 1). Throws
// CliError(ExitCode::BadParameter) naming `source`, the first field out of range, its rule and
// its value.
void ValidateCorneaParameters(const CorneaSegParameter& parameters, const std::string& source);

// Every field by name, in declaration order.
nlohmann::ordered_json CorneaParametersToJson(const CorneaSegParameter& parameters);

}  // namespace Talvex::Cli
