#pragma once

#include <string>
#include <string_view>

namespace kestra {

// Writes text as the whole new content of the regular file at path, the way
// every export saves. The text goes into a temporary file beside the target,
// which is renamed over the target only once it has been written and closed,
// so an existing file is never left half-written. A link (or a chain of links)
// is followed: the file it points to is replaced and the link stays. A file
// that is replaced keeps its permissions.
//
// A target that exists and is not a regular file (a pipe, a device, a socket,
// a folder) is refused before anything is opened, with
// "Cannot write file "<path>". Not a regular file"; any other failure throws
// Error "Cannot write file "<path>". <the system's reason>". Nothing is
// changed on failure.
void ReplaceFile(const std::string& path, std::string_view text);

// Throws what ReplaceFile would throw before writing (a target that is not a
// regular file, one that cannot be written, a folder that takes no new file),
// and changes nothing: a long run can refuse its target before it starts.
void CheckReplaceable(const std::string& path);

} // namespace kestra
