#pragma once

#include "geometry/color.h"

namespace lumivex {

// Surface and interior properties of a shape. refractiveIndex is derived once, when the material
// is built from its seven given values; copies keep it as it is.
struct Material {
    Color diffuse{0.0f, 0.0f, 0.0f, 1.0f};
    float specularCoefficient = 0.0f;           // weight of the mirrored and transmitted rays
    float specularExponent = 0.0f;              // sharpness of the highlight
    Color attenuation{1.0f, 1.0f, 1.0f, 1.0f};  // interior transmittance per unit distance
    float permittivity = 0.0f;
    float permeability = 0.0f;
    float refractiveIndex = 0.0f;  // sqrt(permittivity * permeability)
    float roughness = 0.0f;        // spread of the mirrored and transmitted directions

    Material() = default;
    Material(Color diffuse, float specularCoefficient, float specularExponent, Color attenuation,
             float permittivity, float permeability, float roughness);

    friend bool operator==(const Material&, const Material&) = default;
};

}  // namespace lumivex
