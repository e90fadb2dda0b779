// Raw-data resources of the running library or program, by name.
// Windows: the module's resources of type RCDATA (names compared the way
// the resource loader does: without regard to case). posix: a table of
// named blobs the binary's own code registers at start-up (there is no
// resource section), compared the same way. Thread-safe; never throws.
#pragma once

#include <string>
#include <string_view>

namespace plat {

// The bytes of the named resource; empty when there is none.
std::string LoadDataResource(std::string_view name);

// posix only: makes data the resource of that name (a later registration
// of the same name replaces it). Windows ignores it: resources come from
// the .rc file.
void RegisterDataResource(std::string_view name, std::string_view data);

}  // namespace plat
