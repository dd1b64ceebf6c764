// What the engine says when it cannot do what it was asked: the message names the camera, the
// setting or the format, in words a person can act on.
#ifndef ARAVISENGINE_ENGINEERROR_H
#define ARAVISENGINE_ENGINEERROR_H

#include <stdexcept>
#include <string>

namespace aravisengine {

class EngineError : public std::runtime_error {
public:
    explicit EngineError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace aravisengine

#endif  // ARAVISENGINE_ENGINEERROR_H
