#pragma once

#include <stdexcept>

namespace kestra {

// The one exception type of the program: its message is the text the user sees
// in the error box, exactly as it stands.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace kestra
