#pragma once

#include "geometry/color.h"

namespace lumivex {

// The medium around every object, in which the camera sits.
struct Air {
    float permittivity = 1.0f;
    float permeability = 1.0f;
    float refractiveIndex = 1.0f;               // sqrt(permittivity * permeability), derived once
    Color attenuation{1.0f, 1.0f, 1.0f, 1.0f};  // transmittance per unit distance; 1 is clear

    Air() = default;
    Air(float permittivity, float permeability, const Color& attenuation);
};

}  // namespace lumivex
