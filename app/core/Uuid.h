#pragma once
// Random (version 4) UUIDs in their standard text, upper case: preset identities.
#include <string>

namespace app {

std::string uuidString();

} // namespace app
