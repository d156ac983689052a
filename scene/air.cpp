#include "scene/air.h"

#include <cmath>

namespace lumivex {

Air::Air(float permittivity, float permeability, const Color& attenuation)
    : permittivity(permittivity),
      permeability(permeability),
      refractiveIndex(std::sqrt(permittivity * permeability)),
      attenuation(attenuation) {}

}  // namespace lumivex
