#pragma once

namespace sonavista {

// The default output device's main volume, 0.0 to 1.0. Must not block; an implementation
// that cannot learn the volume answers 1.0.
class OutputVolume {
public:
    virtual ~OutputVolume() = default;
    virtual double systemOutputVolume() = 0;
};

}  // namespace sonavista
