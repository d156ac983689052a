#include "geometry/material.h"

#include <cmath>

namespace lumivex {

Material::Material(Color diffuse, float specularCoefficient, float specularExponent,
                   Color attenuation, float permittivity, float permeability, float roughness)
    : diffuse(diffuse),
      specularCoefficient(specularCoefficient),
      specularExponent(specularExponent),
      attenuation(attenuation),
      permittivity(permittivity),
      permeability(permeability),
      refractiveIndex(std::sqrt(permittivity * permeability)),
      roughness(roughness) {}

}  // namespace lumivex
